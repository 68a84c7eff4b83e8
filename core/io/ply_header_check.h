#pragma once
// Structural check of a PLY file before it reaches vtkPLYReader, which crashes on damaged
// binary files. TODO(io): declare the check here.
