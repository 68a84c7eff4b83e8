#pragma once
// Composition of a synthetic scene from model meshes: a random pose per model and the scene
// mesh made of the posed models.
//
// Rotation: uniform over all rotations (Shoemake's uniform unit quaternion from three uniform
// draws u1, u2, u3 in [0, 1) of std::mt19937_64 seeded once for the whole scene, model after
// model), rounded to float, as the ground truth stores it.
// Placement: each rotated model's bounding sphere (centre: the middle of its bounding box,
// radius: the farthest vertex from it) goes on the x axis, the first at the origin and each
// next one `spacing` (model units) beyond the previous sphere. Disjoint spheres keep the models
// from overlapping; the row faces a viewpoint on the z axis.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

struct PlacedModel {
  std::string name;
  vtkSmartPointer<vtkPolyData> mesh;                // the model in its own frame (float points)
  float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row by row
  float translation[3] = {0, 0, 0};                 // scene point = R * p + t
};

// Draws the rotation and sets the translation of every model, in order (see above).
void placeModels(std::vector<PlacedModel>& models, std::uint64_t seed, double spacing);

// A scene of a dataset: which `count` of the `poolSize` models it holds (indices in increasing
// order, drawn without replacement) and the seed of their poses, both drawn from
// std::mt19937_64 seeded by std::seed_seq{low and high 32 bits of `seed`, `scene`}, so that
// each scene depends on the dataset's seed and its own number only.
struct SceneDraw {
  std::vector<std::size_t> models;
  std::uint64_t poseSeed = 0;
};
SceneDraw drawScene(std::size_t poolSize, std::size_t count, std::uint64_t seed,
                    std::uint64_t scene);

// New mesh: every model's points mapped by its pose exactly as the evaluator maps them (float
// R * p, then + t), model after model, with their polygons. No point data.
vtkSmartPointer<vtkPolyData> composeScene(const std::vector<PlacedModel>& models);

}  // namespace Prepare
}  // namespace Ostrel
