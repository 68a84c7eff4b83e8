#pragma once
// The repeatability measure: model keypoints carried into the scene by their ground-truth pose,
// tested for visibility against the scene mesh and for a close scene keypoint.

#include <vector>

#include "core/point_grid.h"
#include "testers/test_model.h"

// What became of one model keypoint carried into the scene.
enum class KeypointOutcome : unsigned char {
  occluded,     // no scene vertex within the visibility radius (or no finite position)
  nonOccluded,  // on the scene surface, but no scene keypoint within the matching radius
  repeatable,   // on the scene surface, and a scene keypoint within the matching radius
};

// Outcomes per model (in model order), one per model keypoint (in keypoint order).
using KeypointOutcomes = std::vector<std::vector<KeypointOutcome>>;

// Per-model results, one entry per model in model order.
struct RepeatabilityResults {
  std::vector<int> nonOccludedKeypoints;
  std::vector<int> repeatableKeypoints;
  std::vector<double> totScaleRepeatability;

  explicit RepeatabilityResults(std::size_t models = 0)
      : nonOccludedKeypoints(models, 0),
        repeatableKeypoints(models, 0),
        totScaleRepeatability(models, 0.0) {}
};

// Radii, all in the meshes' units: matching uses repeatabilityTh * meanModelResolution,
// visibility repeatabilityTh * meanResolution when decimationLevel > 0 (else the same).
struct RepeatabilityRadii {
  double meanModelResolution = 0.0;
  double meanResolution = 0.0;
  int decimationLevel = -1;
  double repeatabilityTh = 1.0;
};

// Evaluates every model against the scene, fills `results` (zero on entry) and prints each
// model's block on standard output. Nothing is printed when the scene has no keypoints. A
// keypoint whose mapped position is not finite is occluded; so is every keypoint when the scene
// mesh has no points (said once on standard error). `sceneGrid`, when given, is a grid already
// built over scene.mesh; otherwise (or when its cells are far smaller than the visibility radius)
// one is built here. `outcomes`, when given, receives every keypoint's outcome, from the same
// tests that make the counts (all occluded when the scene has no keypoints).
void evaluateRepeatability(const std::vector<TestModel>& models, const TestModel& scene,
                           const RepeatabilityRadii& radii, RepeatabilityResults& results,
                           const Ostrel::Core::Impl::PointGrid* sceneGrid = nullptr,
                           KeypointOutcomes* outcomes = nullptr);

// As evaluateRepeatability, printing nothing: for the tools that show the outcomes their own way.
void measureRepeatability(const std::vector<TestModel>& models, const TestModel& scene,
                          const RepeatabilityRadii& radii, RepeatabilityResults& results,
                          const Ostrel::Core::Impl::PointGrid* sceneGrid = nullptr,
                          KeypointOutcomes* outcomes = nullptr);
