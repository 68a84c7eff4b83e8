// ardentis-prepare convert: a cloud in, binary PLY out that the evaluator reads the same.

#include <gtest/gtest.h>
#include <vtkPointData.h>

#include "core/io/ply_direct_reader.h"
#include "prepare_test_support.h"
#include "support/temp_dir.h"

using namespace prepare_test;
using ardentis_test::TempDir;

TEST(ConvertCommand, ScanAndMeshReadBackAsTheyWereLoaded) {
  TempDir dir;
  const std::string cloud =
      "FIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F U\nCOUNT 1 1 1 1\nWIDTH 3\nHEIGHT 2\n"
      "POINTS 6\nDATA ascii\n0 0 1 255\n1 0 1 65280\nnan nan nan 0\n0 1 1 16711680\n"
      "1 1 1.5 0\n2 1 1 8421504\n";
  const std::string unorganised =
      "FIELDS x y z\nWIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n1 2 3\n4 5 6\n";
  for (const std::string& input : {dir.write("scan.pcd", cloud), dir.write("u.pcd", unorganised),
                                   WritePly(Cone(12), dir.file("cone.ply"))}) {
    const auto result = RunPrepare({"convert", input, "out/o.ply"}, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    Mesh original = Load(input);
    Mesh converted =
        Mesh::Take(Ostrel::Core::Impl::ReadSimpleBinaryPly(dir.file("out/o.ply").c_str()));
    ASSERT_TRUE(converted) << input << " not in the direct reader's layout";
    EXPECT_EQ(Coordinates(converted), Coordinates(original));
    EXPECT_EQ(PolygonIds(converted), PolygonIds(original));
    EXPECT_EQ(converted->GetPointData()->GetArray("RGB") != nullptr,
              input.find("scan.pcd") != std::string::npos);
  }
}

TEST(ConvertCommand, UnreadableInputAndBadCommandLinesWriteNothing) {
  TempDir dir;
  dir.write("bad.pcd", "WIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA binary\n");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {{"convert", "bad.pcd", "o.ply"}, 1, "ardentis-prepare convert: cannot read bad.pcd\n"},
      {{"convert", "bad.pcd"}, 2, "ardentis-prepare convert: the option '--output' is required"},
      {{"convert", "a", "b", "c"}, 2, "ardentis-prepare convert: too many positional options"},
      {{"shrink"}, 2, "ardentis-prepare: unknown command 'shrink'\nUsage:"},
      {{}, 2, "Usage: ardentis-prepare COMMAND"},
  };
  for (const auto& c : cases) {
    const auto result = RunPrepare(c.args, dir.path());
    EXPECT_EQ(result.status, c.status) << c.err;
    EXPECT_EQ(result.err.rfind(c.err, 0), 0u) << result.err;
  }
  EXPECT_EQ(FilesUnder(dir.path()), std::vector<std::string>{"bad.pcd"});
}
