// Tester selection, mesh and keypoint-file naming, and keypoint files in both forms.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "support/temp_dir.h"
#include "testers/from_file_tester.h"
#include "testers/mesh_name.h"

using Ostrel::LocalFeatures::Impl::Feature3D;
using Fields = std::vector<float>;  // x y z scale index score frame[9]

TEST(MeshNameFromPath, IsTheFileNameWithoutExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"./data/bunny_0.ply", "bunny_0"}, {"./data/mesh", "mesh"}, {"a.b/c", "c"},
      {"dir\\win.ply", "win"},           {"a.b.c.ply", "a.b.c"},  {"dir/", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Ostrel::Testers::Impl::MeshNameFromPath(c.first), c.second) << c.first;
}

TEST(FromFileTester, NamesFilesAfterDetectorRadiusAndMesh) {
  ardentis_test::TempDir dir;
  std::string savingPath = dir.file("feats");
  const struct {
    int radius;
    const char* fileName;
    const char* givenName;
  } cases[] = {{-1, "DET_bunny_0.feat", ""},
               {0, "DET_bunny_0.feat", ""},
               {6, "DET_R-6_bunny_0.feat", ""},
               {-1, "DET_chosen.feat", "chosen"}};
  for (const auto& c : cases) {
    const std::string file =
        dir.write(std::string("feats/") + c.fileName, "2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1\n");
    FromFileTester tester("DET", savingPath, 1.0, c.radius);
    TestModel model;
    model.meshPath = "./data/models/bunny_0.ply";
    model.name = c.givenName;
    tester.extract(model);
    std::unique_ptr<Ostrel::LocalFeatures::Impl::Feature3D[]> owned(model.keypoints);
    EXPECT_EQ(model.name, *c.givenName ? c.givenName : "bunny_0");
    ASSERT_EQ(model.numKeypoints, 2) << c.fileName;
    EXPECT_EQ(model.keypoints[1].z, 6.0f);
    std::filesystem::remove(file);
  }
}

namespace {

// Little-endian file: the count, then the records' fields.
std::string binaryFile(std::int32_t count, const std::vector<Fields>& records) {
  std::string bytes(reinterpret_cast<const char*>(&count), 4);
  for (const Fields& r : records) {
    for (size_t k = 0; k < r.size(); ++k) {
      std::int32_t word = std::int32_t(r[k]);
      if (k != 4) std::memcpy(&word, &r[k], sizeof word);
      bytes.append(reinterpret_cast<const char*>(&word), 4);
    }
  }
  return bytes;
}

// The fields of every record read, or nothing when load gives 0 (leaving the caller's pointer
// as it was: a value no allocation returns).
std::vector<Fields> load(const std::string& content, bool binary) {
  ardentis_test::TempDir dir;
  std::string savingPath = "unused";
  Feature3D* const untouched = reinterpret_cast<Feature3D*>(alignof(Feature3D));
  Feature3D* raw = untouched;
  const int count = FromFileTester("DET", savingPath, 1.0, -1)
                        .load(dir.write("k.feat", content).c_str(), raw, binary);
  std::vector<Fields> records;
  EXPECT_EQ(raw == untouched, count == 0);
  if (count == 0) return records;
  std::unique_ptr<Feature3D[]> owned(raw);
  for (int i = 0; i < count; ++i) {
    const Feature3D& k = raw[i];
    records.push_back({k.x, k.y, k.z, k.scale, float(k.index), k.score});
    records.back().insert(records.back().end(), k.frame, k.frame + 9);
  }
  return records;
}

Fields text(Fields six) {
  six.resize(15, 0.0f);  // text records leave the frame at zero
  return six;
}

TEST(KeypointFile, TextAndBinaryRecords) {
  const struct {
    const char* content;
    std::vector<Fields> expected;
  } cases[] = {
      // Values after the sixth end the record's line, whatever they are.
      {"2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1 9 9 9\n",
       {text({1, 2, 3, 0.5, 7, 0.9f}), text({4, 5, 6, 0.25, -1, 0.1f})}},
      {"2 1 1 1 1 1 1 junk 3.5\n2 2 2 2 2 2\n",
       {text({1, 1, 1, 1, 1, 1}), text({2, 2, 2, 2, 2, 2})}},
      {"1 1.5e1 -2 3 0.5 4 0.75\n", {text({15, -2, 3, 0.5, 4, 0.75})}},
      // A count beyond the lines keeps default records; an unparsable value leaves it and
      // every later field at its default.
      {"2\n1 2 3 0.5 7 0.9\n", {text({1, 2, 3, 0.5, 7, 0.9f}), text({0, 0, 0, 0, -1, 0})}},
      {"2\n1 2 3 0.5 x 0.9\n4 5 6 0.25 8 0.1\n",
       {text({1, 2, 3, 0.5, -1, 0}), text({0, 0, 0, 0, -1, 0})}},
  };
  for (const auto& c : cases) EXPECT_EQ(load(c.content, false), c.expected) << c.content;
  const std::vector<Fields> records = {{1, 2, 3, 0.5, 7, 0.9f, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                       {-4, 5, -6, 0.25, -1, 0.1f, 0.5, 0, 0, 0, -1, 0, 0, 0, 2}};
  EXPECT_EQ(load(binaryFile(2, records), true), records);
}

// Every file that holds no usable count reads as unreadable: result 0, no array.
TEST(KeypointFile, UnreadableFilesYieldZero) {
  const Fields record(15, 1.0f);
  const std::pair<std::string, bool> cases[] = {
      // clang-format off
      {"0\n", false}, {"", false}, {"keypoints\n1 2 3 4 5 6\n", false}, {"-3\n1 2 3 4 5 6\n", false},
      {"2000000000\n1 2 3 4 5 6\n", false},  // count above the file size
      {"99999999999\n1 2 3 4 5 6\n", false}, {binaryFile(0, {}), true}, {"", true},
      {std::string(3, '\1'), true}, {binaryFile(-1, {}), true}, {binaryFile(0x7fffffff, {}), true},
      {binaryFile(2, {record}) + std::string(59, '\0'), true},  // second record one byte short
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_TRUE(load(c.first, c.second).empty()) << c.first;
}

}  // namespace
