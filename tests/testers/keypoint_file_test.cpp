// Keypoint files in both forms, read through the tester interface's load.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "testers/from_file_tester.h"

using Ostrel::LocalFeatures::Impl::Feature3D;

namespace {

struct BinaryRecord {
  float x, y, z, scale;
  std::int32_t index;
  float score;
  float frame[9];
};

void appendWord(std::string& bytes, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(word >> shift));
}

void appendFloat(std::string& bytes, float value) {
  std::uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  appendWord(bytes, word);
}

// Little-endian file: the count, then per record x y z scale index score frame[9].
std::string binaryFile(std::int32_t count, const std::vector<BinaryRecord>& records) {
  std::string bytes;
  appendWord(bytes, static_cast<std::uint32_t>(count));
  for (const BinaryRecord& r : records) {
    for (float v : {r.x, r.y, r.z, r.scale}) appendFloat(bytes, v);
    appendWord(bytes, static_cast<std::uint32_t>(r.index));
    appendFloat(bytes, r.score);
    for (float v : r.frame) appendFloat(bytes, v);
  }
  return bytes;
}

class KeypointFileTest : public ::testing::Test {
 protected:
  // Loads `content` written to a scratch file; the array, if any, is kept in `keypoints`.
  int load(const std::string& content, bool binary) {
    const std::string path = dir.write("k.feat", content);
    Feature3D* raw = sentinel();
    const int count = tester.load(path.c_str(), raw, binary);
    if (raw != sentinel()) keypoints.reset(raw);
    return count;
  }
  // A pointer value no allocation returns: it shows whether load touched the caller's pointer.
  static Feature3D* sentinel() { return reinterpret_cast<Feature3D*>(alignof(Feature3D)); }

  ardentis_test::TempDir dir;
  std::string savingPath = "unused";
  FromFileTester tester{"DET", savingPath, 1.0, -1};
  std::unique_ptr<Feature3D[]> keypoints;
};

void expectDefaultFrame(const Feature3D& k) {
  for (float f : k.frame) EXPECT_EQ(f, 0.0f);
}

TEST_F(KeypointFileTest, TextRecordsEndTheirLine) {
  ASSERT_EQ(load("2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1 9 9 9\n", false), 2);
  const Feature3D& a = keypoints[0];
  EXPECT_EQ(a.x, 1.0f);
  EXPECT_EQ(a.y, 2.0f);
  EXPECT_EQ(a.z, 3.0f);
  EXPECT_EQ(a.scale, 0.5f);
  EXPECT_EQ(a.index, 7);
  EXPECT_EQ(a.score, 0.9f);
  const Feature3D& b = keypoints[1];
  EXPECT_EQ(b.x, 4.0f);
  EXPECT_EQ(b.scale, 0.25f);
  EXPECT_EQ(b.index, -1);
  EXPECT_EQ(b.score, 0.1f);
  expectDefaultFrame(a);
  expectDefaultFrame(b);
}

TEST_F(KeypointFileTest, TextValuesAfterTheSixthAreSkippedEvenWhenNotNumbers) {
  ASSERT_EQ(load("2 1 1 1 1 1 1 junk 3.5\n2 2 2 2 2 2\n", false), 2);
  EXPECT_EQ(keypoints[0].x, 1.0f);
  EXPECT_EQ(keypoints[1].x, 2.0f);
  EXPECT_EQ(keypoints[1].index, 2);
}

TEST_F(KeypointFileTest, CountOnItsOwnLineReadsLikeCountBesideTheFirstRecord) {
  ASSERT_EQ(load("1\n1.5e1 -2 3 0.5 4 0.75\n", false), 1);
  EXPECT_EQ(keypoints[0].x, 15.0f);
  EXPECT_EQ(keypoints[0].y, -2.0f);
  keypoints.reset();
  ASSERT_EQ(load("1 1.5e1 -2 3 0.5 4 0.75\n", false), 1);
  EXPECT_EQ(keypoints[0].x, 15.0f);
  EXPECT_EQ(keypoints[0].score, 0.75f);
}

TEST_F(KeypointFileTest, TextCountBeyondItsLinesKeepsDefaultRecords) {
  ASSERT_EQ(load("3\n1 2 3 0.5 7 0.9\n4 5 6 0.25 8 0.1\n", false), 3);
  const Feature3D& third = keypoints[2];
  EXPECT_EQ(third.x, 0.0f);
  EXPECT_EQ(third.y, 0.0f);
  EXPECT_EQ(third.z, 0.0f);
  EXPECT_EQ(third.scale, 0.0f);
  EXPECT_EQ(third.score, 0.0f);
  EXPECT_EQ(third.index, -1);
}

TEST_F(KeypointFileTest, UnparsableValueLeavesItAndEveryLaterFieldAtDefault) {
  ASSERT_EQ(load("2\n1 2 3 0.5 x 0.9\n4 5 6 0.25 8 0.1\n", false), 2);
  EXPECT_EQ(keypoints[0].scale, 0.5f);
  EXPECT_EQ(keypoints[0].index, -1);  // not the 0 a failed integer read would store
  EXPECT_EQ(keypoints[0].score, 0.0f);
  EXPECT_EQ(keypoints[1].x, 0.0f);
  EXPECT_EQ(keypoints[1].index, -1);
}

TEST_F(KeypointFileTest, BinaryRecordsCarryEveryFieldInFileOrder) {
  BinaryRecord first{1, 2, 3, 0.5f, 7, 0.9f, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
  BinaryRecord second{-4, 5, -6, 0.25f, -1, 0.1f, {0.5f, 0, 0, 0, -1, 0, 0, 0, 2}};
  ASSERT_EQ(load(binaryFile(2, {first, second}), true), 2);
  for (int k = 0; k < 2; ++k) {
    const BinaryRecord& want = k == 0 ? first : second;
    const Feature3D& got = keypoints[k];
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.z, want.z);
    EXPECT_EQ(got.scale, want.scale);
    EXPECT_EQ(got.index, want.index);
    EXPECT_EQ(got.score, want.score);
    for (int f = 0; f < 9; ++f) EXPECT_EQ(got.frame[f], want.frame[f]) << "record " << k;
  }
}

// Every file that holds no usable count reads as unreadable: result 0, no array, the caller's
// pointer untouched.
struct UnreadableCase {
  const char* what;
  std::string content;
  bool binary;
};

std::string binaryOneRecordShort() {
  std::string bytes = binaryFile(2, {BinaryRecord{1, 2, 3, 4, 5, 6, {}}});
  return bytes + std::string(59, '\0');  // second record one byte short
}

class UnreadableKeypointFileTest : public KeypointFileTest,
                                   public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableKeypointFileTest, YieldsZeroAndLeavesThePointer) {
  EXPECT_EQ(load(GetParam().content, GetParam().binary), 0) << GetParam().what;
  EXPECT_EQ(keypoints, nullptr) << GetParam().what;
}

void PrintTo(const UnreadableCase& c, std::ostream* os) {
  *os << c.what;
}

// Test names from the case descriptions, so ctest lists readable names.
std::string caseName(const ::testing::TestParamInfo<UnreadableCase>& info) {
  std::string name = info.param.what;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableKeypointFileTest,
    ::testing::Values(
        UnreadableCase{"text count 0", "0\n", false}, UnreadableCase{"empty text", "", false},
        UnreadableCase{"text without a count", "keypoints\n1 2 3 4 5 6\n", false},
        UnreadableCase{"negative text count", "-3\n1 2 3 4 5 6\n", false},
        UnreadableCase{"text count above the file size", "2000000000\n1 2 3 4 5 6\n", false},
        UnreadableCase{"text count beyond 32 bits", "99999999999\n1 2 3 4 5 6\n", false},
        UnreadableCase{"binary count 0", binaryFile(0, {}), true},
        UnreadableCase{"empty binary", "", true},
        UnreadableCase{"binary count cut short", std::string(3, '\1'), true},
        UnreadableCase{"negative binary count", binaryFile(-1, {}), true},
        UnreadableCase{"huge binary count", binaryFile(0x7fffffff, {}), true},
        UnreadableCase{"binary shorter than its records", binaryOneRecordShort(), true}),
    caseName);

TEST_F(KeypointFileTest, MissingFileYieldsZeroAndLeavesThePointer) {
  for (bool binary : {false, true}) {
    Feature3D* raw = sentinel();
    EXPECT_EQ(tester.load(dir.file("absent.feat").c_str(), raw, binary), 0);
    EXPECT_EQ(raw, sentinel());
  }
}

}  // namespace
