#pragma once
// Decimation of the data set to a common level of detail, for testers that ask for it.

#include <boost/program_options/variables_map.hpp>
#include <vector>

#include "testers/test_model.h"

class vtkPolyData;

// New mesh (owned by the caller) with about `target` points, made by quadric decimation and
// cleaned; an unchanged copy when the mesh has no more than `target` points.
vtkPolyData* decimateMesh(vtkPolyData* mesh, int target);

// Target vertex count of a mesh of `points` points: points * level / maxVertexes, rounded half
// up.
int decimationTarget(long long points, int maxVertexes, int decimationLevel);

// Decimates every model, prints their new resolutions and returns their mean. Ends the process
// with status -100 when "maxVertexesInDataset" is not positive.
double decimateModels(boost::program_options::variables_map& vm, std::vector<TestModel>& models,
                      int decimationLevel);

// Decimates the scene by the same rule and prints its new resolution.
void decimateScene(boost::program_options::variables_map& vm, TestModel& scene,
                   int decimationLevel);
