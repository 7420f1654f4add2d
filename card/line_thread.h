#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel {

// The card's line work on a thread of its own, so that the window's thread never waits for
// the card. Jobs run one after another, in the order they were posted; what a job shows is
// handed back to the window's thread as steps, also in order, which the window runs when
// told to (Deliver). The thread starts with the first job.
//
// Without a wake-up everything runs at once on the caller's thread: jobs when posted, steps
// when handed over. The core's tests work that way; the command line has no line thread at
// all, and runs the same session on its own thread.
class LineThread {
 public:
  // wake is called on the line thread whenever steps wait for Deliver; it must only post
  // a call of Deliver to the window's thread.
  explicit LineThread(std::function<void()> wake = {});
  // Stop.
  ~LineThread();
  // The job in progress runs to its end; jobs not begun are dropped, and so are steps not
  // delivered; a job waiting for a step it handed over goes on without it. Returns once the
  // thread has ended; nothing posted afterwards runs.
  void Stop();
  LineThread(const LineThread&) = delete;
  LineThread& operator=(const LineThread&) = delete;

  void Post(std::function<void()> job);
  // Runs job at once on the caller's thread while no job has started the line thread (what
  // it uses still belongs to the caller), else posts it.
  void RunHereOrPost(std::function<void()> job);
  // From a job: runs step on the window's thread at its next Deliver.
  void ToWindow(std::function<void()> step);
  // From a job: the same, and waits until the step has run (a message box was closed).
  // Called off the line thread, the step runs at once.
  void ToWindowAndWait(std::function<void()> step);
  // On the window's thread: runs the steps handed over so far, one by one; a step may
  // open a modal loop that calls Deliver again.
  void Deliver();

  bool threaded() const { return static_cast<bool>(wake_); }
  // No job waits or runs, and every step has been delivered.
  bool Idle() const;
  bool OnLineThread() const;

 private:
  void Work();

  std::function<void()> wake_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  std::deque<std::function<void()>> steps_;
  std::uint64_t steps_queued_ = 0;  // how many steps were ever queued for the window
  std::uint64_t steps_run_ = 0;     // how many of them the window has run
  bool working_ = false;            // a job is running
  bool closing_ = false;
};

}  // namespace quorvel
