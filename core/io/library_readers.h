#pragma once
// Loaders over VTK's own readers. Each returns a new mesh owned by the caller, or null after
// printing its message on standard output.

class vtkPolyData;

vtkPolyData* LoadPly(const char* path);
vtkPolyData* LoadVtk(const char* path);
vtkPolyData* LoadOBJ(const char* path);
