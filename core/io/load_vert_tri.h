#pragma once
// The VERT/TRI mesh reader (two text files of number triples), the ".vert" and ".tri" rows of
// LoadPolyData. Failures print one line naming the file and return null.

class vtkPolyData;

// Reads the pair `basePath`.vert (x y z per vertex) and `basePath`.tri (1-based vertex numbers,
// three per triangle). Returns a new mesh owned by the caller, or null after a message.
vtkPolyData* LoadVertTri(const char* basePath);
