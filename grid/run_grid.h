#pragma once
// ardentis-grid from the command line to its summary: reads the grid file, writes the manifests,
// runs the tasks on GNU parallel or Slurm, merges the tasks' results tables and draws the report.
// Returns the exit status: 0 all tasks done, 1 a task failed (or a table or the report could not
// be written), 2 bad command line or grid file, 3 the engine could not run.
int runGrid(int argc, char** argv);
