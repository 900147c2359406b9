#include "FileWorkers.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "OutputChannel.h"

namespace Quorvane::Cli {

unsigned WorkerCount(unsigned jobs, std::size_t files) {
  const unsigned wanted = jobs > 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(wanted, files)));
}

int RenderFilesInOrder(std::size_t count, const std::function<TFileOutput(std::size_t)>& render, unsigned workers,
                       std::ostream& out, std::ostream& err, const TStartThread& startThread) {
  // A file whose work raises is reported as failed, like any other failure, and the others go on.
  const auto renderSafely = [&](std::size_t index) {
    try {
      return render(index);
    } catch (const std::exception& e) {
      return TFileOutput{"", ErrorLine(e.what()), true};
    }
  };
  int status = 0;
  const auto write = [&](const TFileOutput& output) {
    out << output.Out;
    err << output.Err;
    if (output.Failed) status = 1;
  };
  const auto renderHere = [&] {
    for (std::size_t i = 0; i < count && out; ++i) write(renderSafely(i));
    return status;
  };
  if (workers <= 1 || count <= 1) return renderHere();

  // Outputs wait in a ring of slots; a worker may run ahead of the writer by at most the ring's size.
  // The calling thread is one of the workers: between writes it renders files itself, so it seldom
  // sleeps and a pool of workers - 1 threads keeps every core busy.
  const std::size_t window = std::size_t{4} * workers;
  std::vector<std::optional<TFileOutput>> ring(window);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0, written = 0;
  bool stopped = false;  // the output failed: no more work

  const auto work = [&] {
    for (;;) {
      std::size_t index;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped || next >= count || next < written + window; });
        if (stopped || next >= count) return;
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
  for (unsigned i = 0; i + 1 < workers; ++i) {
    try {
      pool.push_back(startThread ? startThread(work) : std::jthread(work));
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones started do the work
    }
  }
  if (pool.empty()) return renderHere();

  while (written < count && out) {
    std::unique_lock lock(mutex);
    std::optional<TFileOutput>& slot = ring[written % window];
    if (slot) {
      TFileOutput output = std::move(*slot);
      slot.reset();
      ++written;
      lock.unlock();
      changed.notify_all();  // a worker may wait for room in the ring
      write(output);
    } else if (next < count && next < written + window) {
      const std::size_t index = next++;
      lock.unlock();
      TFileOutput output = renderSafely(index);
      lock.lock();
      ring[index % window] = std::move(output);
    } else {
      changed.wait(lock, [&] {
        return ring[written % window].has_value() || (next < count && next < written + window);
      });
    }
  }
  {
    std::lock_guard lock(mutex);
    stopped = true;
  }
  changed.notify_all();
  return status;
}

}  // namespace Quorvane::Cli
