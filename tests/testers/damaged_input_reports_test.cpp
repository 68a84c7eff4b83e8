// What damaged input is told about: a text keypoint file whose records stop parsing keeps its
// count and defaults and says where on the error stream; a refused mesh file is reported in the
// loaders' one form, with the bytes quoted from the file escaped.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/io/load_poly_data.h"
#include "support/temp_dir.h"
#include "testers/from_file_tester.h"

using Ostrel::LocalFeatures::Impl::Feature3D;

TEST(KeypointFileWarning, NamesTheRecordAndWhatWasFound) {
  const std::string tail = "; this and the following records keep default values\n";
  const struct {
    std::string content;
    int count;
    std::string warning;  // after "<path>: ", empty when none is expected
  } cases[] = {
      {"2\n1 2 3 4 5 6 extra\n1 2 3 4 5 6", 2, ""},
      {"3\n1 2 3 4 5 6\nnan 0 0 1 0 0\n1 1 1 1 1 1\n", 3, "record 2 of 3: cannot read \"nan\""},
      {"2\n1 2 3 4 5 inf\n", 2, "record 1 of 2: cannot read \"inf\""},
      {"1\n0 0 0 1 99999999999 0\n", 1, "record 1 of 1: cannot read \"99999999999\""},
      {"1\n1e999 0 0 1 0 0\n", 1, "record 1 of 1: cannot read \"1e999\""},
      {"2\n1 2 3 4 5 6\n1 2 3\n", 2, "record 2 of 2: the file ends here"},
      {"4\n1 2 3 4 5 6\n", 4, "record 2 of 4: the file ends here"},
      {"1\n1 2 \x1b[31m\\ 4 5 6\n", 1, "record 1 of 1: cannot read \"\\x1B[31m\\x5C\""},
      {"1\n" + std::string(60, 'w') + "\n", 1,
       "record 1 of 1: cannot read \"" + std::string(40, 'w') + "\""},
  };
  ardentis_test::TempDir dir;
  std::string savingPath = dir.path();
  FromFileTester tester{"DET", savingPath, 1.0, -1};
  for (const auto& c : cases) {
    const std::string path = dir.write("k.feat", c.content);
    Feature3D* raw = nullptr;
    int count = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    count = tester.load(path.c_str(), raw, false);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::unique_ptr<Feature3D[]> owned(raw);
    EXPECT_EQ(count, c.count) << c.content;
    EXPECT_EQ(err, c.warning.empty() ? "" : path + ": " + c.warning + tail) << c.content;
  }
}

TEST(MeshFileReports, OneFormWithQuotedBytesEscaped) {
  const std::string vertex =
      "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n";
  const struct {
    const char* file;
    std::string content;
    std::string expected;  // PATH stands for the file's path
  } cases[] = {
      {"k.ply", "ply\nformat ascii 1.0\n" + vertex + "foo\x1b[2J bar\nend_header\n0 0 0\n",
       "\nERROR LoadPly: FileFormatError\n"
       "ERROR LoadPly: PATH: header: unknown header keyword 'foo\\x1B[2J'\n"},
      // One byte short of the last element's rows.
      {"e.ply",
       "ply\nformat binary_little_endian 1.0\n" + vertex +
           "element e\x1b 2\nproperty uchar v\nend_header\n" + std::string(13, '\0'),
       "\nERROR LoadPly: PrematureEndOfFileError\n"
       "ERROR LoadPly: PATH: data ends inside the 'e\\x1B' rows\n"},
      {"c.off", "OFF\n3 1 0 \x07\n0 0 0\n",
       "ERROR LoadOff: PATH: counts line '3 1 0 \\x07' declares more than the file can hold\n"},
  };
  ardentis_test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Ostrel::Core::Impl::LoadPolyData(path.c_str()), nullptr) << c.file;
    std::string expected = c.expected;
    expected.replace(expected.find("PATH"), 4, path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  }
}
