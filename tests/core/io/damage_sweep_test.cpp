// Damaged copies of small valid files (every truncation, many garbled bytes) must load as
// null or as a mesh whose cells name existing points: never a crash, hang or memory fault.

#include <gtest/gtest.h>

#include <string>

#include "core/io/load_poly_data.h"
#include "io_test.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;

TEST(DamageSweep, TruncatedAndGarbledFilesLoadAsNullOrSoundMesh) {
  const struct {
    const char* fileName;  // the file that is damaged
    std::string content;
    const char* companionName;  // the other file of a VERT/TRI pair
    std::string companion;
  } cases[] = {
      {"m.ply", SquarePly(), "", ""},
      {"m.ply", SquarePly("binary_little_endian"), "", ""},
      {"m.ply", SquarePly("binary_big_endian"), "", ""},
      {"m.obj", kObj, "", ""},
      {"m.vtk", kVtk, "", ""},
      {"m.off", kOff, "", ""},
      {"m.vert", kVert, "m.tri", kTri},
      {"m.tri", kTri, "m.vert", kVert},
      {"m.pcd", kPcd, "", ""},
  };
  // Replacement bytes that turn numbers into text, signs, separators and binary junk.
  const char kGarbage[] = {'x', '-', '9', ' ', '\n', '\xff', '\0'};
  for (const auto& c : cases) {
    ardentis_test::TempDir dir;
    if (*c.companionName) dir.write(c.companionName, c.companion);
    std::vector<std::string> damaged;
    for (size_t at = 0; at < c.content.size(); ++at) {
      damaged.push_back(c.content.substr(0, at));
      for (char garbage : kGarbage)
        damaged.push_back(std::string(c.content).replace(at, 1, 1, garbage));
    }
    damaged.push_back(c.content);
    for (size_t k = 0; k < damaged.size(); ++k) {
      Loaded loaded = Load(Ostrel::Core::Impl::LoadPolyData, dir.write(c.fileName, damaged[k]));
      if (k + 1 == damaged.size()) {
        ASSERT_TRUE(loaded.mesh) << c.fileName << " undamaged";
        EXPECT_GT(loaded.mesh->GetNumberOfCells(), 0) << c.fileName;
      } else if (loaded.mesh) {
        EXPECT_TRUE(CellIdsInRange(loaded.mesh)) << c.content << " damaged as case " << k;
      }
    }
  }
}
