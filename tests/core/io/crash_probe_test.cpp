// Files on which VTK's own readers crash are refused with the loader's message instead.

#include "core/io/crash_probe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "core/io/library_readers.h"
#include "io_test_support.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::SurvivesInChildProcess;

TEST(CrashProbe, TellsAFinishedReadFromACrashAndKeepsTheChildQuiet) {
  int parentValue = 0;
  const std::string out = StdoutOf([&] {
    EXPECT_TRUE(SurvivesInChildProcess([&] {
      std::printf("child output\n");
      parentValue = 1;  // the child's memory only
    }));
    EXPECT_FALSE(SurvivesInChildProcess([] { std::raise(SIGSEGV); }));
    EXPECT_FALSE(SurvivesInChildProcess([] { std::abort(); }));
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(parentValue, 0);
}

TEST(CrashProbe, FilesThatCrashVtkReadersAreRefused) {
  ardentis_test::TempDir dir;
  const struct {
    const char* file;
    std::string content;
    vtkPolyData* (*loader)(const char*);
    std::string message;
  } cases[] = {
      {"missing-texture.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2/3\nf 2 4 3\n",
       LoadOBJ,
       "ERROR loading OBJ PATH\nerror Code: 20005, Description: FileFormatError\nERROR LoadOBJ: "
       "PATH: the reader fails on this damaged file\n"},
      {"short-points.vtk",
       "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 8 float\n0 0 0\n1 0 0\n"
       "0 1 0\n1 1 0.5\nPOLYGONS 2 8\n3 0  \n21 31 3 2\nPOINefault\n0 1 2 3\n",
       LoadVtk, "\nERROR LoadVtk: FileFormatError\nERROR LoadVtk: PATH: "},
      {"nul-in-name.ply",
       std::string("ply\nformat ascii 1.0\nelement vertex 0\nproperty float \v\v\vx\n"
                   "property float y\nproperty float z\nelement face") +
           std::string(38, '\0') +
           " 1\nproperty list uchar int vertex_indices\nend_header\n1 0 0\n1 0 0\n",
       LoadPly, "\nERROR LoadPly: "},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    std::string expected = c.message;
    for (size_t at; (at = expected.find("PATH")) != std::string::npos;) {
      expected.replace(at, 4, path);
    }
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = c.loader(path.c_str()); });
    EXPECT_EQ(mesh, nullptr) << c.file;
    EXPECT_EQ(out.substr(0, expected.size()), expected) << c.file;
  }
}
