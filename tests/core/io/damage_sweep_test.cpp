// Damaged copies of small valid files (every truncation, many garbled bytes) must load as
// null or as a mesh whose cells name existing points: never a crash, hang or memory fault.

#include <gtest/gtest.h>

#include <string>

#include "core/io/load_poly_data.h"
#include "io_test_support.h"
#include "sample_meshes.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

const struct {
  const char* fileName;  // the file that is damaged
  std::string (*content)();
  const char* companionName = nullptr;  // the other file of a VERT/TRI pair
  std::string (*companion)() = nullptr;
} kCases[] = {
    {"m.ply", &AsciiPly},
    {"m.ply", &BinaryPly},
    {"m.ply", &BigEndianPly},
    {"m.obj", &ObjMesh},
    {"m.vtk", &LegacyVtk},
    {"m.off", &OffMesh},
    {"m.vert", &VertFile, "m.tri", &TriFile},
    {"m.tri", &TriFile, "m.vert", &VertFile},
    {"m.pcd", &OrganisedPcd},
};

// Replacement bytes that turn numbers into text, signs, separators and binary junk.
const char kGarbage[] = {'x', '-', '9', ' ', '\n', '\xff', '\0'};

}  // namespace

TEST(DamageSweep, TruncatedAndGarbledFilesLoadAsNullOrSoundMesh) {
  for (const auto& c : kCases) {
    ardentis_test::TempDir dir;
    if (c.companion != nullptr) dir.write(c.companionName, c.companion());
    const std::string whole = c.content();
    std::vector<std::string> damaged;
    for (size_t at = 0; at < whole.size(); ++at) {
      damaged.push_back(whole.substr(0, at));
      for (char garbage : kGarbage)
        damaged.push_back(std::string(whole).replace(at, 1, 1, garbage));
    }
    damaged.push_back(whole);
    for (size_t k = 0; k < damaged.size(); ++k) {
      const std::string path = dir.write(c.fileName, damaged[k]);
      Mesh mesh;
      StdoutOf([&] { StderrOf([&] { mesh = Own(LoadPolyData(path.c_str())); }); });
      if (k + 1 == damaged.size()) {
        ASSERT_TRUE(mesh) << path << " undamaged";
        EXPECT_GT(mesh->GetNumberOfCells(), 0) << path;
      } else if (mesh) {
        EXPECT_TRUE(CellIdsInRange(mesh)) << c.content() << " damaged as case " << k;
      }
    }
  }
}
