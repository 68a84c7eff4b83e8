#include "support/fuzz_input.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkPolyData.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "core/clean_poly_data.h"
#include "core/mesh_resolution.h"

// Present when a sanitizer runtime is linked in.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)(void));

namespace ardentis_fuzz {

InputFile::InputFile(const uint8_t* data, size_t size, const std::string& suffix)
    : path_("/tmp/ardentis-fuzz-" + std::to_string(getpid()) + suffix) {
  std::ofstream file(path_, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

InputFile::~InputFile() {
  std::remove(path_.c_str());
}

namespace {

void CheckCellIds(vtkCellArray* cells, vtkIdType points) {
  if (!cells) return;
  const vtkIdType cellCount = cells->GetNumberOfCells();
  for (vtkIdType cell = 0; cell < cellCount; ++cell) {
    vtkIdType size = 0;
    const vtkIdType* ids = nullptr;
    cells->GetCellAtId(cell, size, ids);
    for (vtkIdType k = 0; k < size; ++k) {
      if (ids[k] < 0 || ids[k] >= points) {
        std::fprintf(stderr, "cell %lld refers to point %lld of %lld\n",
                     static_cast<long long>(cell), static_cast<long long>(ids[k]),
                     static_cast<long long>(points));
        std::abort();
      }
    }
  }
}

}  // namespace

void CheckLoadedMesh(vtkPolyData* mesh) {
  if (!mesh) return;
  const vtkIdType points = mesh->GetNumberOfPoints();
  CheckCellIds(mesh->GetPolys(), points);
  CheckCellIds(mesh->GetLines(), points);
  CheckCellIds(mesh->GetVerts(), points);
  CheckCellIds(mesh->GetStrips(), points);
  Ostrel::Core::Impl::compute_mesh_resolution(mesh);
  Ostrel::Core::Impl::CleanPolyData(mesh, true, 0.0, true);
  Ostrel::Core::Impl::compute_mesh_resolution(mesh);
}

namespace {

// The loaders probe VTK's readers in child processes, which crash on purpose on damaged input.
// Such a child must die quietly instead of running the fuzzer's crash handling (which would
// report the parent's input as a crash).
void DieQuietlyInChild() {
  for (int fatal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) std::signal(fatal, SIG_DFL);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(nullptr);
}

}  // namespace

void PrepareProcess() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  const int devNull = open("/dev/null", O_WRONLY);
  if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
  pthread_atfork(nullptr, nullptr, DieQuietlyInChild);
}

}  // namespace ardentis_fuzz
