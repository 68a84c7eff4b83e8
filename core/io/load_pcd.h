#pragma once

class vtkPolyData;

// Reads a PCD point cloud, DATA ascii, binary or binary_compressed. The FIELDS (or COLUMNS),
// SIZE, TYPE and COUNT lines describe an entry: x, y and z are taken by name, a packed "rgb"
// field gives the colour, every other field is skipped. An entry whose x is NaN is invalid and
// stores no point. An organised cloud (width and height both other than 1) gets triangles over
// its grid of valid entries. Returns a new mesh owned by the caller, or null after a message.
vtkPolyData* LoadPcd(const char* path);
