#pragma once
// Runs one evaluation from the command line to the results table; returns the exit status:
// 0 complete, -1 options or scene, -2 a model or its ground truth. Fatal stops (-100) end the
// process inside the stage that meets them.
int runEvaluation(int argc, char** argv);
