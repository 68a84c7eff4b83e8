// Damaged copies of small valid files (every truncation, many garbled bytes) must load as
// null or as a mesh whose cells name existing points: never a crash, hang or memory fault.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/io/load_poly_data.h"
#include "io_test_support.h"
#include "sample_meshes.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

struct SweepCase {
  const char* name;
  const char* fileName;  // the file that is damaged
  std::string (*content)();
  const char* companionName;  // the other file of a VERT/TRI pair, or null
  std::string (*companion)();
};

const SweepCase kCases[] = {
    {"ascii PLY", "m.ply", &AsciiPly, nullptr, nullptr},
    {"binary PLY", "m.ply", &BinaryPly, nullptr, nullptr},
    {"big-endian PLY", "m.ply", &BigEndianPly, nullptr, nullptr},
    {"OBJ", "m.obj", &ObjMesh, nullptr, nullptr},
    {"legacy VTK", "m.vtk", &LegacyVtk, nullptr, nullptr},
    {"OFF", "m.off", &OffMesh, nullptr, nullptr},
    {"VERT", "m.vert", &VertFile, "m.tri", &TriFile},
    {"TRI", "m.tri", &TriFile, "m.vert", &VertFile},
    {"PCD", "m.pcd", &OrganisedPcd, nullptr, nullptr},
};

// Loads `content` as the case's file; fails the test when the result is a broken mesh.
void ExpectNullOrSound(const ardentis_test::TempDir& dir, const SweepCase& c,
                       const std::string& content, const std::string& what) {
  const std::string path = dir.write(c.fileName, content);
  Mesh mesh;
  {
    Silenced quiet;
    mesh = Own(LoadPolyData(path.c_str()));
  }
  if (mesh) {
    EXPECT_TRUE(CellIdsInRange(mesh)) << c.name << ", " << what;
  }
}

// Replacement bytes that turn numbers into text, signs, separators and binary junk.
const char kGarbage[] = {'x', '-', '9', ' ', '\n', '\xff', '\0'};

}  // namespace

TEST(DamageSweep, EveryTruncationLoadsAsNullOrSoundMesh) {
  for (const SweepCase& c : kCases) {
    ardentis_test::TempDir dir;
    if (c.companion != nullptr) dir.write(c.companionName, c.companion());
    const std::string whole = c.content();
    for (size_t length = 0; length < whole.size(); ++length) {
      ExpectNullOrSound(dir, c, whole.substr(0, length), "cut at " + std::to_string(length));
    }
  }
}

TEST(DamageSweep, GarbledBytesLoadAsNullOrSoundMesh) {
  for (const SweepCase& c : kCases) {
    ardentis_test::TempDir dir;
    if (c.companion != nullptr) dir.write(c.companionName, c.companion());
    const std::string whole = c.content();
    for (size_t at = 0; at < whole.size(); ++at) {
      for (char garbage : kGarbage) {
        std::string damaged = whole;
        damaged[at] = garbage;
        ExpectNullOrSound(dir, c, damaged, "byte " + std::to_string(at) + " garbled");
      }
    }
  }
}

TEST(DamageSweep, UndamagedSamplesLoad) {
  for (const SweepCase& c : kCases) {
    ardentis_test::TempDir dir;
    if (c.companion != nullptr) dir.write(c.companionName, c.companion());
    const std::string path = dir.write(c.fileName, c.content());
    Mesh mesh = Own(LoadPolyData(path.c_str()));
    ASSERT_TRUE(mesh) << c.name;
    EXPECT_GT(mesh->GetNumberOfPoints(), 0) << c.name;
    EXPECT_GT(mesh->GetNumberOfCells(), 0) << c.name;
  }
}
