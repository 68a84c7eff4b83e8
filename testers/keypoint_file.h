#pragma once
// Reading keypoint files, text and binary forms, into one array of Feature3D: the evaluator's
// reader (IDetectorTester::load), open to the tools that read what a detector wrote.

#include "testers/feature3d.h"

// Reads the file at `path` (text, or binary when `binary`) into a new array stored in
// `keypoints` and returns the count. Returns 0, allocating nothing and leaving the pointer
// untouched, when the file cannot be opened or its count is missing, 0, negative or more than the
// file can hold. Text records the file lacks, and fields that do not parse, keep their defaults
// (said in one line on standard error).
int readKeypointFile(const char* path, Ostrel::LocalFeatures::Impl::Feature3D*& keypoints,
                     bool binary);
