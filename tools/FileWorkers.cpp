#include "FileWorkers.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

namespace Quorvane::Cli {

unsigned WorkerCount(unsigned jobs, std::size_t files) {
  const unsigned wanted = jobs > 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(wanted, files)));
}

int RenderFilesInOrder(std::size_t count, const std::function<TFileOutput(std::size_t)>& render, unsigned workers,
                       std::ostream& out, std::ostream& err) {
  // A file whose work raises is reported as failed, like any other failure, and the others go on.
  const auto renderSafely = [&](std::size_t index) {
    try {
      return render(index);
    } catch (const std::exception& e) {
      return TFileOutput{"", e.what() + std::string("\n"), true};
    }
  };
  int status = 0;
  const auto write = [&](const TFileOutput& output) {
    out << output.Out;
    err << output.Err;
    if (output.Failed) status = 1;
  };
  if (workers <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) write(renderSafely(i));
    return status;
  }

  // Outputs wait in a ring of slots; a worker may run ahead of the writer by at most the ring's size.
  const std::size_t window = std::size_t{4} * workers;
  std::vector<std::optional<TFileOutput>> ring(window);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0, written = 0;

  const auto work = [&] {
    for (;;) {
      std::size_t index;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return next >= count || next < written + window; });
        if (next >= count) return;
        index = next++;
      }
      TFileOutput output = renderSafely(index);
      {
        std::lock_guard lock(mutex);
        ring[index % window] = std::move(output);
      }
      changed.notify_all();
    }
  };
  std::vector<std::jthread> pool;
  for (unsigned i = 0; i < workers; ++i) pool.emplace_back(work);

  while (written < count) {
    TFileOutput output;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return ring[written % window].has_value(); });
      output = std::move(*ring[written % window]);
      ring[written % window].reset();
      ++written;
    }
    changed.notify_all();
    write(output);
  }
  return status;
}

}  // namespace Quorvane::Cli
