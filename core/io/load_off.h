#pragma once
// The OFF mesh reader (text: header, counts, vertices, faces), the ".off" row of LoadPolyData.
// Failures print one line and return null.

class vtkPolyData;

// Reads an OFF mesh (header line, counts line, vertex lines, face lines); polygons keep their
// own number of points. Returns a new mesh owned by the caller, or null after a message.
vtkPolyData* LoadOff(const char* path);
