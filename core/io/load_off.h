#pragma once

class vtkPolyData;

// Reads an OFF mesh (header line, counts line, vertex lines, face lines); polygons keep their
// own number of points. Returns a new mesh owned by the caller, or null after a message.
vtkPolyData* LoadOff(const char* path);
