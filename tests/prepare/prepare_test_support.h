#pragma once
// Helpers for the ardentis-prepare tests: test meshes written by VTK's own sources and writer,
// running the tool, reading meshes back.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

#include "support/run_process.h"

namespace prepare_test {

using Mesh = vtkSmartPointer<vtkPolyData>;

// A closed triangulated sphere (float points) from vtkSphereSource.
Mesh Sphere(int resolution, double radius);
// A cone from vtkConeSource: triangles and one polygon cap.
Mesh Cone(int resolution);

// Writes `mesh` as binary PLY with vtkPLYWriter (creating directories); returns `path`.
std::string WritePly(vtkPolyData* mesh, const std::string& path);

// The mesh LoadPolyData reads from `path` (null when it cannot).
Mesh Load(const std::string& path);

// Every point's x, y, z in order.
std::vector<double> Coordinates(vtkPolyData* mesh);

// The polygon connectivity of `mesh`, cell after cell.
std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh);

ardentis_test::ProcessResult RunPrepare(const std::vector<std::string>& args,
                                        const std::string& workingDir);

// Names of the files under `directory`, recursively, sorted.
std::vector<std::string> FilesUnder(const std::string& directory);

}  // namespace prepare_test
