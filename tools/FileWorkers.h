#pragma once
// Running a command's per-file work on every core: a small pool of threads and the calling thread
// render the files' outputs, and the calling thread writes them in argument order between its own
// files. At most a few outputs per worker wait to be written, so memory stays bounded however many
// files there are.

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <thread>

namespace Quorvane::Cli {

// What one file gives: its text for standard output and standard error, and whether it failed.
struct TFileOutput {
  std::string Out;
  std::string Err;
  bool Failed = false;
};

// The worker count for a --jobs value: 0 means one per core; never more than the files.
unsigned WorkerCount(unsigned jobs, std::size_t files);

// Starts a worker thread; std::thread's constructor unless a test stands in for it.
using TStartThread = std::function<std::jthread(std::function<void()>)>;

// Renders files 0..count-1 with render (called from several threads at once, so it must only
// share read-only state) and writes each output in order. 1 when any file failed, else 0. Work that
// raises gives the error line "quorvane-cli: reason". When threads cannot be started (a process
// limit), fewer workers do the work, down to the calling thread alone. Once out has failed, the
// files not yet rendered are skipped.
int RenderFilesInOrder(std::size_t count, const std::function<TFileOutput(std::size_t)>& render, unsigned workers,
                       std::ostream& out, std::ostream& err, const TStartThread& startThread = {});

}  // namespace Quorvane::Cli
