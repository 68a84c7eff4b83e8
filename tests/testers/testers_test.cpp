// Keypoint files: their names, both forms, and the warning on damage; refused mesh files are
// reported in the loaders' one form, with the bytes quoted from the file escaped.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "core/io/load_poly_data.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "testers/from_file_tester.h"

using Ostrel::LocalFeatures::Impl::Feature3D;
using Fields = std::vector<float>;  // x y z scale index score frame[9]

namespace {

// Little-endian file: the count, then the records' fields (the index an integer).
std::string binaryFile(std::int32_t count, const std::vector<Fields>& records) {
  std::string bytes(reinterpret_cast<const char*>(&count), 4);
  for (const Fields& r : records)
    for (size_t k = 0; k < r.size(); ++k) {
      std::int32_t word = std::int32_t(r[k]);
      if (k != 4) std::memcpy(&word, &r[k], sizeof word);
      bytes.append(reinterpret_cast<const char*>(&word), 4);
    }
  return bytes;
}

// The fields of every record read, or nothing when load gives 0 (leaving the caller's pointer
// as it was: a value no allocation returns); `err` gets standard error, PATH for the file.
std::vector<Fields> load(const std::string& content, bool binary, std::string* err) {
  ardentis_test::TempDir dir;
  std::string savingPath = "unused";
  Feature3D* const untouched = reinterpret_cast<Feature3D*>(alignof(Feature3D));
  Feature3D* raw = untouched;
  const std::string path = dir.write("k.feat", content);
  int count = 0;
  const auto printed = ardentis_test::capture(
      [&] { count = FromFileTester("DET", savingPath, 1.0, -1).load(path.c_str(), raw, binary); });
  EXPECT_EQ(printed.out, "");
  *err = printed.err.empty() ? "" : "PATH" + printed.err.substr(path.size());
  std::vector<Fields> records;
  EXPECT_EQ(raw == untouched, count == 0);
  std::unique_ptr<Feature3D[]> owned(count == 0 ? nullptr : raw);
  for (int i = 0; i < count; ++i) {
    const Feature3D& k = raw[i];
    records.push_back({k.x, k.y, k.z, k.scale, float(k.index), k.score});
    records.back().insert(records.back().end(), k.frame, k.frame + 9);
  }
  return records;
}

// Text and binary records, the warning on damage; no usable count reads as 0, with no array.
TEST(KeypointFile, RecordsInBothFormsAndTheWarningOnDamage) {
  const auto text = [](Fields six) { return six.resize(15, 0.0f), six; };    // frame left at zero
  const Fields R = text({1, 2, 3, 4, 5, 6}), D = text({0, 0, 0, 0, -1, 0});  // D: defaults
  const std::vector<Fields> records = {{1, 2, 3, 0.5, 7, 0.9f, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                       {-4, 5, -6, 0.25, -1, 0.1f, 0.5, 0, 0, 0, -1, 0, 0, 0, 2}};
  const struct {
    std::string content;
    std::vector<Fields> expected;
    std::string warning;  // after "PATH: record ", empty when none is expected
    bool binary = false;
  } cases[] = {
      // clang-format off
      // Values after the sixth end the record's line, whatever they are.
      {"2 1 2 3 4 5 6 junk 3.5\n1 2 3 4 5 6 9 9", {R, R}, ""},
      {"2\n1 2 3 4 5 6\n1 2 3\n", {R, text({1, 2, 3, 0, -1, 0})}, "2 of 2: the file ends here"},
      {"4\n1 2 3 4 5 6\n", {R, D, D, D}, "2 of 4: the file ends here"},
      {"2\n1 2 3 4 x 6\n1 2 3 4 5 6\n", {text({1, 2, 3, 4, -1, 0}), D}, "1 of 2: cannot read \"x\""},
      {"3\n1 2 3 4 5 6\nnan 0 0 1 0 0\n1 1 1 1 1 1\n", {R, D, D}, "2 of 3: cannot read \"nan\""},
      {"1\n0 0 0 1 99999999999 0\n", {text({0, 0, 0, 1, -1, 0})}, "1 of 1: cannot read \"99999999999\""},
      {"1\n1e999 0 0 1 0 0\n", {D}, "1 of 1: cannot read \"1e999\""},
      {"1\n1 2 \x1b[31m\\ 4 5 6\n", {text({1, 2, 0, 0, -1, 0})}, "1 of 1: cannot read \"\\x1B[31m\\x5C\""},
      {"1\n" + std::string(60, 'w') + "\n", {D}, "1 of 1: cannot read \"" + std::string(40, 'w') + "\""},
      {binaryFile(2, records), records, "", true},
      {"0\n", {}, ""}, {"", {}, ""}, {"keypoints\n1 2 3 4 5 6\n", {}, ""}, {"-3\n1 2 3 4 5 6\n", {}, ""},
      {"2000000000\n1 2 3 4 5 6\n", {}, ""}, {"99999999999\n1 2 3 4 5 6\n", {}, ""},  // above the size
      {binaryFile(0, {}), {}, "", true}, {std::string(3, '\1'), {}, "", true}, {binaryFile(-1, {}), {}, "", true},
      {binaryFile(0x7fffffff, {}), {}, "", true},
      {binaryFile(2, {R}) + std::string(59, '\0'), {}, "", true},  // second record one byte short
      // clang-format on
  };
  for (const auto& c : cases) {
    std::string err;
    EXPECT_EQ(load(c.content, c.binary, &err), c.expected) << c.content;
    const std::string tail = "; this and the following records keep default values\n";
    EXPECT_EQ(err, c.warning.empty() ? "" : "PATH: record " + c.warning + tail);
  }
}

TEST(MeshFileReports, OneFormWithQuotedBytesEscaped) {
  const std::string xyz =
      " 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\n";
  const struct {
    const char* file;
    std::string content, expected;  // PATH stands for the file's path
  } cases[] = {
      {"k.ply", "ply\nformat ascii" + xyz + "foo\x1b[2J bar\nend_header\n0 0 0\n",
       "\nERROR LoadPly: FileFormatError\n"
       "ERROR LoadPly: PATH: header: unknown header keyword 'foo\\x1B[2J'\n"},
      // One byte short of the last element's rows.
      {"e.ply",
       "ply\nformat binary_little_endian" + xyz +
           "element e\x1b 2\nproperty uchar v\nend_header\n" + std::string(13, '\0'),
       "\nERROR LoadPly: PrematureEndOfFileError\n"
       "ERROR LoadPly: PATH: data ends inside the 'e\\x1B' rows\n"},
      {"c.off", "OFF\n3 1 0 \x07\n0 0 0\n",
       "ERROR LoadOff: PATH: counts line '3 1 0 \\x07' declares more than the file can hold\n"},
  };
  ardentis_test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    vtkPolyData* mesh = nullptr;
    std::string out =
        ardentis_test::capture([&] { mesh = Ostrel::Core::Impl::LoadPolyData(path.c_str()); }).out;
    EXPECT_EQ(mesh, nullptr) << c.file;
    EXPECT_EQ(out.replace(out.find(path), path.size(), "PATH"), c.expected);
  }
}

}  // namespace
