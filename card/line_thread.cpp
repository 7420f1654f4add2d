#include "card/line_thread.h"

namespace quorvel {

LineThread::LineThread(std::function<void()> wake) : wake_(std::move(wake)) {}

LineThread::~LineThread() {
  Stop();
}

void LineThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    jobs_.clear();
    steps_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool LineThread::OnLineThread() const {
  return threaded() && std::this_thread::get_id() == thread_.get_id();
}

void LineThread::Post(std::function<void()> job) {
  if (!threaded()) {
    job();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread(&LineThread::Work, this);
  }
  changed_.notify_all();
}

void LineThread::RunHereOrPost(std::function<void()> job) {
  // Only the caller's thread starts the line thread, so this reading cannot race with it.
  if (!thread_.joinable()) {
    job();
    return;
  }
  Post(std::move(job));
}

void LineThread::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
      if (closing_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      working_ = true;
    }
    job();
    std::lock_guard lock(mutex_);
    working_ = false;
  }
}

void LineThread::ToWindow(std::function<void()> step) {
  if (!OnLineThread()) {
    step();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    steps_.push_back(std::move(step));
    ++steps_queued_;
  }
  wake_();
}

void LineThread::ToWindowAndWait(std::function<void()> step) {
  if (!OnLineThread()) {
    step();
    return;
  }
  std::uint64_t ticket;
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    steps_.push_back(std::move(step));
    // Counted from every step ever queued: the window may be in the middle of one it has
    // taken off the queue and not yet counted as run.
    ticket = ++steps_queued_;
  }
  wake_();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return closing_ || steps_run_ >= ticket; });
}

bool LineThread::Idle() const {
  std::lock_guard lock(mutex_);
  return !working_ && jobs_.empty() && steps_.empty();
}

void LineThread::Deliver() {
  for (;;) {
    std::function<void()> step;
    {
      std::lock_guard lock(mutex_);
      if (steps_.empty()) return;
      step = std::move(steps_.front());
      steps_.pop_front();
    }
    step();
    {
      std::lock_guard lock(mutex_);
      ++steps_run_;
    }
    changed_.notify_all();
  }
}

}  // namespace quorvel
