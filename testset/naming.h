#pragma once
// The names of a test set's files, shared by the evaluator and every tool that writes what it
// reads: where a configured mesh or ground truth lies (./data/ of the working directory, the
// noise level in scene file names), a mesh's short name, where keypoint files and results
// tables are kept, and which names are plain enough for file names and command lines.

#include <string>

namespace Ostrel {
namespace TestSet {

// Every mesh and ground-truth path of a test configuration is relative to this directory.
extern const char* const kDataDirectory;  // "./data/"

// "./data/" + `configuredValue` without double quotes, with "_" + `noise` inserted before its
// last '.' (at the end of a value that has no '.' of its own): models/bear.ply at noise "0"
// gives ./data/models/bear_0.ply.
std::string meshPathWithNoise(const std::string& configuredValue, const std::string& noise);

// "./data/" + `configuredValue` without double quotes: no noise suffix.
std::string groundTruthPath(const std::string& configuredValue);

// The file name of `meshPath` (after its last '/' or '\\') without its extension (from its last
// '.' on): ./data/bunny_0.ply gives bunny_0, a.b/c gives c.
std::string meshNameFromPath(const std::string& meshPath);

// Where a detector's keypoints for one mesh are kept: <savingPath>/<detectorID>[_R-<radius>]_
// <meshName>.feat, the radius part only when `radius` > 0.
std::string keypointFilePath(const std::string& savingPath, const std::string& detectorID,
                             int radius, const std::string& meshName);

// The noise level `sigma` as scene file names carry it: written by a default-formatted stream in
// the "C" locale, six significant digits as %g (0.1, 0, 0.25, 1e-07).
std::string noiseLevelName(double sigma);

// The results table of a detector: <outputPath>/<detectorID>.csv.
std::string resultsTablePath(const std::string& outputPath, const std::string& detectorID);

// True for the characters of plain names: letters, digits, '.', '_', '-' and '+'.
bool isNameCharacter(char c);

// True when `name` (a model, scene or detector name) is made of name characters only and does
// not begin with '-' or '.': it needs no quoting in a file name or a shell command line and is
// never taken for an option or a hidden file.
bool isPlainName(const std::string& name);

}  // namespace TestSet
}  // namespace Ostrel
