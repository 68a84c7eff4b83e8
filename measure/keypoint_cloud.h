#pragma once
// Keypoints as a point cloud, so that VTK's locators can search among them; positions in the
// mesh's units, scales in the "Scale" array.

#include "testers/feature3d.h"

class vtkPolyData;

// New point cloud (owned by the caller): one point per keypoint, in order, no cells, and the
// point array "Scale" holding each keypoint's scale as a double.
vtkPolyData* createPolyDataWithKeypoints(Ostrel::LocalFeatures::Impl::Feature3D* keypoints,
                                         int count);
