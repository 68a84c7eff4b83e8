#pragma once
// What the reader tests share: small valid files of every format the loader reads, and a load
// that keeps the mesh and everything the reader printed.

#include <vtkCellArray.h>

#include <string>

#include "../test_meshes.h"
#include "support/ply_file.h"
#include "support/run_process.h"

namespace ardentis_io_test {

using ardentis_core_test::Flat;
using ardentis_core_test::Ids;
using ardentis_core_test::Mesh;

// Four vertices, a triangle (0 1 2) and a quadrilateral (0 1 3 2), coloured in PLY files.
inline std::string SquarePly(const std::string& format = "ascii") {
  return ardentis_test::plyFile(
      {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5}}, {{0, 1, 2}, {0, 1, 3, 2}}, false, false, 3},
      format);
}
const std::string kObj =
    "# test\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2 3\nf 2 4 3\n";
const std::string kVtk =
    "# vtk DataFile Version 3.0\ntest\nASCII\nDATASET POLYDATA\nPOINTS 4 float\n"
    "0 0 0 1 0 0 0 1 0 1 1 0.5\nPOLYGONS 2 8\n3 0 1 2\n3 1 3 2\n";
const std::string kOff =
    "OFF\n# comment\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n3 0 1 2\n4 0 1 3 2\n";
const std::string kVert = "0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n";
const std::string kTri = "1 2 3\n2 4 3\n";
// Organised 3 x 2 cloud with colour and one nan entry.
const std::string kPcd =
    "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F F\nCOUNT 1 1 1 1\n"
    "WIDTH 3\nHEIGHT 2\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 6\nDATA ascii\n"
    "0 0 1 2.34639693e-38\n1 0 1 1.18010406e-38\nnan nan nan 0\n"
    "0 1 1 2.34639693e-38\n1 1 1 2.34639693e-38\n2 1 1 2.34639693e-38\n";

struct Loaded {
  Mesh mesh;
  std::string said;  // standard output then standard error
};

template <class Loader>
Loaded Load(Loader loader, const std::string& path) {
  Loaded loaded;
  const auto printed =
      ardentis_test::capture([&] { loaded.mesh = Mesh::Take(loader(path.c_str())); });
  loaded.said = printed.out + printed.err;
  return loaded;
}

// True when every cell of every kind names only existing points.
inline bool CellIdsInRange(vtkPolyData* mesh) {
  for (vtkCellArray* cells :
       {mesh->GetVerts(), mesh->GetLines(), mesh->GetPolys(), mesh->GetStrips()}) {
    vtkIdType count;
    const vtkIdType* ids;
    if (cells == nullptr) continue;
    for (cells->InitTraversal(); cells->GetNextCell(count, ids);)
      for (vtkIdType k = 0; k < count; ++k)
        if (ids[k] < 0 || ids[k] >= mesh->GetNumberOfPoints()) return false;
  }
  return true;
}

}  // namespace ardentis_io_test
