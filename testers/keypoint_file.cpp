// Reading of keypoint files, text and binary forms, into one array of Feature3D.

#include "testers/keypoint_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <memory>
#include <string>

#include "core/io/read_support.h"
#include "testers/detector_tester.h"

using Ostrel::Core::Impl::PrintableText;
using Ostrel::LocalFeatures::Impl::Feature3D;

namespace {

constexpr std::int64_t kBinaryCountBytes = 4;
constexpr std::int64_t kBinaryRecordBytes = 60;
// Longest word quoted when a record stops parsing; a damaged file may hold one of any length.
constexpr int kMaxQuotedWord = 40;

// Size of the open file in bytes, or -1 when it cannot be measured (not a regular file).
std::int64_t streamSize(std::ifstream& in) {
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (!in || size < 0) return -1;
  return static_cast<std::int64_t>(size);
}

// Reads one value into `field` only when it parses; a failed read leaves the default in place
// and stops every later read (the stream stays failed).
template <typename T>
bool readField(std::istream& in, T& field) {
  T value;
  if (!(in >> value)) return false;
  field = value;
  return true;
}

// Reads the first `fields` values of a record in file order; returns how many of them parsed.
int readTextFields(std::istream& in, Feature3D& keypoint, int fields) {
  int parsed = 0;
  auto next = [&](auto& field) {
    if (parsed < fields && readField(in, field)) ++parsed;
  };
  next(keypoint.x);
  next(keypoint.y);
  next(keypoint.z);
  next(keypoint.scale);
  next(keypoint.index);
  next(keypoint.score);
  return parsed;
}

constexpr int kTextFields = 6;

// Returns how many of the record's values parsed (kTextFields when all did).
int readTextRecord(std::istream& in, Feature3D& keypoint) {
  const int parsed = readTextFields(in, keypoint, kTextFields);
  // A record ends its line: whatever follows its sixth value is not part of the file's data.
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  return parsed;
}

// Tells on the error stream where the records stopped parsing: from there on they keep their
// defaults, which would otherwise pass unnoticed as keypoints at the origin. The file is read
// again up to the failed value, so that healthy files pay nothing for finding the word.
void reportStop(const char* path, int count, int record, int field) {
  std::ifstream in(path);
  int skippedCount = 0;
  in >> skippedCount;
  Feature3D skipped;
  for (int k = 0; k < record; ++k) readTextRecord(in, skipped);
  readTextFields(in, skipped, field);
  std::string word;
  in >> std::setw(kMaxQuotedWord) >> word;
  const std::string found = word.empty() ? std::string("the file ends here")
                                         : "cannot read \"" + PrintableText(word) + "\"";
  std::fprintf(stderr,
               "%s: record %d of %d: %s; this and the following records keep default values\n",
               path, record + 1, count, found.c_str());
}

// A text record takes at least one byte, so a count above the file's size cannot be genuine;
// refusing it keeps a corrupt count from allocating gigabytes.
int readTextKeypoints(const char* path, Feature3D*& keypoints) {
  std::ifstream in(path);
  if (!in.is_open()) return 0;
  const std::int64_t fileSize = streamSize(in);
  int count = 0;
  if (fileSize < 0 || !(in >> count)) return 0;
  if (count <= 0 || count > fileSize) return 0;

  std::unique_ptr<Feature3D[]> records(new Feature3D[count]);
  for (int k = 0; k < count; ++k) {
    const int parsed = readTextRecord(in, records[k]);
    if (parsed < kTextFields) {
      reportStop(path, count, k, parsed);
      break;  // the stream stays failed: every later record keeps its defaults
    }
  }
  keypoints = records.release();
  return count;
}

std::uint32_t littleEndianWord(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

float littleEndianFloat(const unsigned char* bytes) {
  static_assert(sizeof(float) == sizeof(std::uint32_t), "IEEE 754 single precision expected");
  const std::uint32_t word = littleEndianWord(bytes);
  float value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

std::int32_t littleEndianInt(const unsigned char* bytes) {
  const std::uint32_t word = littleEndianWord(bytes);
  std::int32_t value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

// Record layout: x, y, z, scale, index, score, then the nine frame values.
void decodeBinaryRecord(const unsigned char* record, Feature3D& keypoint) {
  keypoint.x = littleEndianFloat(record);
  keypoint.y = littleEndianFloat(record + 4);
  keypoint.z = littleEndianFloat(record + 8);
  keypoint.scale = littleEndianFloat(record + 12);
  keypoint.index = littleEndianInt(record + 16);
  keypoint.score = littleEndianFloat(record + 20);
  for (int f = 0; f < 9; ++f) keypoint.frame[f] = littleEndianFloat(record + 24 + 4 * f);
}

// A binary file must hold every record its count announces; a shorter one is refused whole
// rather than handing out records that were never in the file.
int readBinaryKeypoints(const char* path, Feature3D*& keypoints) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return 0;
  const std::int64_t fileSize = streamSize(in);
  unsigned char countBytes[kBinaryCountBytes];
  if (fileSize < 0 || !in.read(reinterpret_cast<char*>(countBytes), kBinaryCountBytes)) return 0;
  const std::int32_t count = littleEndianInt(countBytes);
  if (count <= 0 || fileSize < kBinaryCountBytes + kBinaryRecordBytes * count) return 0;

  std::unique_ptr<Feature3D[]> records(new Feature3D[count]);
  unsigned char record[kBinaryRecordBytes];
  for (std::int32_t k = 0; k < count; ++k) {
    if (!in.read(reinterpret_cast<char*>(record), kBinaryRecordBytes)) return 0;
    decodeBinaryRecord(record, records[k]);
  }
  keypoints = records.release();
  return count;
}

}  // namespace

int readKeypointFile(const char* path, Feature3D*& keypoints, bool binary) {
  return binary ? readBinaryKeypoints(path, keypoints) : readTextKeypoints(path, keypoints);
}

int IDetectorTester::load(const char* path, Feature3D*& keypoints, bool binary) {
  return readKeypointFile(path, keypoints, binary);
}
