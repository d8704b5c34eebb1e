#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

// The threads the rows run on. The system may refuse a thread at any time (a container's limit on
// processes, say), so work is spread over the threads that did start, down to the caller's alone:
// helpers are all started before any works, and each learns how many share the work. Nothing
// ever waits for a thread that was refused.

/// Starts a thread running `work`, as std::jthread's constructor does: throws std::system_error
/// when the system refuses one. Tests refuse some on purpose.
using thread_starter = std::function<std::jthread(std::function<void(std::stop_token)>)>;

/// Starts a std::jthread.
inline std::jthread start_jthread(std::function<void(std::stop_token)> work) {
  return std::jthread(std::move(work));
}

/// Threads meet here between passes. Passes can be a microsecond apart, so a thread spins a while
/// before it sleeps, and the last to arrive wakes sleepers only when there are some: a wake-up
/// costs several times a pass over a short row. (Either a sleeper's count is seen, or the sleeper
/// sees the new generation and does not sleep: both are sequentially consistent.)
class spin_barrier {
 public:
  /// For `count` threads; set before any arrives.
  void expect(unsigned count) { count_ = count; }

  void arrive_and_wait() {
    const unsigned generation = generation_.load(std::memory_order_acquire);
    if (waiting_.fetch_add(1, std::memory_order_acq_rel) + 1 == count_) {
      waiting_.store(0, std::memory_order_relaxed);
      generation_.store(generation + 1);
      if (sleepers_.load() > 0) generation_.notify_all();
      return;
    }
    for (int spin = 0; spin < spins_before_sleeping; ++spin) {
      if (generation_.load(std::memory_order_acquire) != generation) return;
    }
    sleepers_.fetch_add(1);
    generation_.wait(generation);
    sleepers_.fetch_sub(1);
  }

 private:
  static constexpr int spins_before_sleeping = 1 << 14;
  unsigned count_ = 1;
  alignas(64) std::atomic<unsigned> waiting_{0};
  alignas(64) std::atomic<unsigned> generation_{0};
  std::atomic<unsigned> sleepers_{0};
};

/// Runs work(t, count) for t = 0 .. count - 1: t = 0 on the caller's thread, the others on threads
/// of their own, where count is how many of `wanted` threads could be had, the caller's among
/// them. ready(count) runs first, before any work. An exception from work is rethrown once all
/// are done; work that meets the others at a barrier must not throw.
template <typename work_function, typename ready_function>
unsigned on_threads(unsigned wanted, const thread_starter& start, const work_function& work,
                    const ready_function& ready) {
  constexpr unsigned cancelled = ~0U;
  std::atomic<unsigned> count{0};  // 0 until every helper that could be had has started
  std::vector<std::exception_ptr> failures(std::max(1U, wanted));
  std::vector<std::jthread> helpers;
  {
    // Helpers wait for the count; however this block is left, they stop waiting.
    struct release {
      std::atomic<unsigned>& count;
      ~release() {
        if (count.load() == 0) count.store(cancelled);
        count.notify_all();
      }
    } released{count};
    helpers.reserve(wanted > 1 ? wanted - 1 : 0);
    for (unsigned t = 1; t < wanted; ++t) {
      try {
        helpers.push_back(start([&, t](const std::stop_token&) {
          count.wait(0);
          const unsigned threads = count.load();
          if (threads == cancelled) return;
          try {
            work(t, threads);
          } catch (...) {
            failures[t] = std::current_exception();
          }
        }));
      } catch (...) {  // refused: the threads started so far share the work
        break;
      }
    }
    const auto threads = static_cast<unsigned>(helpers.size()) + 1;
    ready(threads);
    count.store(threads);
  }
  try {
    work(0, static_cast<unsigned>(helpers.size()) + 1);
  } catch (...) {
    failures[0] = std::current_exception();
  }
  const auto threads = static_cast<unsigned>(helpers.size()) + 1;
  helpers.clear();  // joins them
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  return threads;
}

/// Thread t's share of [from, to) among `threads`, cut at multiples of `align`.
inline std::pair<std::size_t, std::size_t> share(std::size_t from, std::size_t to, unsigned t,
                                                 unsigned threads, std::size_t align) {
  const std::size_t part = ((to - from) / threads + align - 1) / align * align;
  const std::size_t begin = std::min(to, from + t * part);
  return {begin, t + 1 == threads ? to : std::min(to, begin + part)};
}
