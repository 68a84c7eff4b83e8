#pragma once

class vtkPolyData;

// Reads a PCD point cloud in text form (x y z and an optional packed rgb per entry). An
// organised cloud (width and height both other than 1) gets triangles over its grid. Returns a
// new mesh owned by the caller, or null after a message.
vtkPolyData* LoadPcd(const char* path);
