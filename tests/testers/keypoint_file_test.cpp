// Keypoint files in both forms, read through the tester interface's load.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "testers/from_file_tester.h"

using Ostrel::LocalFeatures::Impl::Feature3D;
using Fields = std::vector<float>;  // x y z scale index score, then the frame when asked

namespace {

void appendWord(std::string& bytes, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(word >> shift));
}

// Little-endian file: the count, then per record x y z scale index score frame[9].
std::string binaryFile(std::int32_t count, const std::vector<Fields>& records) {
  std::string bytes;
  appendWord(bytes, std::uint32_t(count));
  for (const Fields& r : records) {
    for (size_t k = 0; k < r.size(); ++k) {
      std::uint32_t word = std::uint32_t(std::int32_t(r[k]));
      if (k != 4) std::memcpy(&word, &r[k], sizeof word);
      appendWord(bytes, word);
    }
  }
  return bytes;
}

class KeypointFileTest : public ::testing::Test {
 protected:
  // Loads `content`; the fields of every record read, or nothing when load gives 0.
  std::vector<Fields> load(const std::string& content, bool binary, bool withFrame = false) {
    const std::string path = dir.write("k.feat", content);
    Feature3D* raw = sentinel();
    const int count = tester.load(path.c_str(), raw, binary);
    std::vector<Fields> records;
    if (count == 0) {
      EXPECT_EQ(raw, sentinel()) << "the caller's pointer must stay untouched";
      return records;
    }
    std::unique_ptr<Feature3D[]> owned(raw);
    for (int i = 0; i < count; ++i) {
      const Feature3D& k = raw[i];
      records.push_back({k.x, k.y, k.z, k.scale, float(k.index), k.score});
      // Text records leave the frame at zero: it shows only when asked for or when set.
      const bool zeroFrame = std::all_of(k.frame, k.frame + 9, [](float f) { return f == 0; });
      if (withFrame || !zeroFrame)
        records.back().insert(records.back().end(), k.frame, k.frame + 9);
    }
    return records;
  }
  // A pointer value no allocation returns: it shows whether load touched the caller's pointer.
  static Feature3D* sentinel() { return reinterpret_cast<Feature3D*>(alignof(Feature3D)); }

  ardentis_test::TempDir dir;
  std::string savingPath = "unused";
  FromFileTester tester{"DET", savingPath, 1.0, -1};
};

TEST_F(KeypointFileTest, TextRecords) {
  const struct {
    const char* content;
    std::vector<Fields> expected;
  } cases[] = {
      // Values after the sixth end the record's line, whatever they are.
      {"2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1 9 9 9\n",
       {{1, 2, 3, 0.5, 7, 0.9f}, {4, 5, 6, 0.25, -1, 0.1f}}},
      {"2 1 1 1 1 1 1 junk 3.5\n2 2 2 2 2 2\n", {{1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2}}},
      {"1 1.5e1 -2 3 0.5 4 0.75\n", {{15, -2, 3, 0.5, 4, 0.75}}},
      // A count beyond the lines keeps default records.
      {"2\n1 2 3 0.5 7 0.9\n", {{1, 2, 3, 0.5, 7, 0.9f}, {0, 0, 0, 0, -1, 0}}},
      // An unparsable value leaves it and every later field at its default.
      {"2\n1 2 3 0.5 x 0.9\n4 5 6 0.25 8 0.1\n", {{1, 2, 3, 0.5, -1, 0}, {0, 0, 0, 0, -1, 0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(load(c.content, false), c.expected) << c.content;
}

TEST_F(KeypointFileTest, BinaryRecordsCarryEveryFieldInFileOrder) {
  const std::vector<Fields> records = {{1, 2, 3, 0.5, 7, 0.9f, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                       {-4, 5, -6, 0.25, -1, 0.1f, 0.5, 0, 0, 0, -1, 0, 0, 0, 2}};
  EXPECT_EQ(load(binaryFile(2, records), true, true), records);
}

// Every file that holds no usable count reads as unreadable: result 0, no array, the caller's
// pointer untouched.
TEST_F(KeypointFileTest, UnreadableFilesYieldZero) {
  const Fields record(15, 1.0f);
  const std::pair<std::string, bool> cases[] = {
      {"0\n", false},
      {"", false},
      {"keypoints\n1 2 3 4 5 6\n", false},
      {"-3\n1 2 3 4 5 6\n", false},
      {"2000000000\n1 2 3 4 5 6\n", false},  // count above the file size
      {"99999999999\n1 2 3 4 5 6\n", false},
      {binaryFile(0, {}), true},
      {"", true},
      {std::string(3, '\1'), true},
      {binaryFile(-1, {}), true},
      {binaryFile(0x7fffffff, {}), true},
      {binaryFile(2, {record}) + std::string(59, '\0'), true},  // second record one byte short
  };
  for (const auto& c : cases) EXPECT_TRUE(load(c.first, c.second).empty()) << c.first;
  for (bool binary : {false, true}) {
    Feature3D* raw = sentinel();
    EXPECT_EQ(tester.load(dir.file("absent.feat").c_str(), raw, binary), 0);
    EXPECT_EQ(raw, sentinel());
  }
}

}  // namespace
