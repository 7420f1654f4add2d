#include "card/line_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {
namespace {

using ::testing::ElementsAre;

// Plays the window's event loop: the line's wake-ups are counted, and Deliver runs when
// the test says so, always on the test's own thread.
class WindowLoop {
 public:
  std::function<void()> Wake() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++wakes_;
      changed_.notify_all();
    };
  }
  // Waits for a wake-up the loop has not answered yet, then delivers.
  void DeliverNext(LineThread& line) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return wakes_ > answered_; });
      ++answered_;
    }
    line.Deliver();
  }
  // Waits until the line has woken the window `count` times in all.
  void WaitForWakes(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return wakes_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int wakes_ = 0;
  int answered_ = 0;
};

TEST(LineThreadTest, JobsRunInOrderAwayAndTheirStepsOnTheWindowsThreadWhenDelivered) {
  WindowLoop window;
  std::vector<std::string> shown;  // touched on this thread only
  const auto windowThread = std::this_thread::get_id();
  std::atomic<bool> jobsOnOtherThread{true};
  {
    LineThread line(window.Wake());
    for (const char* name : {"reset", "execute"}) {
      line.Post([&, name] {
        if (std::this_thread::get_id() == windowThread) jobsOnOtherThread = false;
        line.ToWindow([&, name] { shown.push_back(std::string(name) + " rows"); });
        // A message box stops the line until the window has shown it.
        line.ToWindowAndWait([&, name] { shown.push_back(std::string(name) + " message"); });
        line.ToWindow([&, name] { shown.push_back(std::string(name) + " done"); });
      });
    }
    while (shown.size() < 6) window.DeliverNext(line);
    while (!line.Idle()) std::this_thread::yield();
  }
  EXPECT_TRUE(jobsOnOtherThread);
  EXPECT_THAT(shown, ElementsAre("reset rows", "reset message", "reset done", "execute rows",
                                 "execute message", "execute done"));
}

TEST(LineThreadTest, AMessageQueuedWhileTheWindowRunsAStepWaitsForItsOwnTurn) {
  WindowLoop window;
  std::mutex mutex;
  std::condition_variable changed;
  bool windowInStep = false;
  bool lineMovedOn = false;
  bool movedOnBeforeShown = false;
  const auto set = [&](bool& flag) {
    std::lock_guard lock(mutex);
    flag = true;
    changed.notify_all();
  };
  {
    LineThread line(window.Wake());
    line.Post([&] {
      // The window has taken this step and is still in it when the message is queued.
      line.ToWindow([&] {
        set(windowInStep);
        window.WaitForWakes(2);
      });
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return windowInStep; });
      }
      const std::string text = "The card was removed";
      line.ToWindowAndWait([&] {
        // The line must still be waiting: its message is shown from its own memory.
        std::unique_lock lock(mutex);
        movedOnBeforeShown =
            changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return lineMovedOn; });
        EXPECT_EQ(text, "The card was removed");
      });
      set(lineMovedOn);
    });
    window.DeliverNext(line);
    while (!line.Idle()) std::this_thread::yield();
  }
  EXPECT_FALSE(movedOnBeforeShown);
}

TEST(LineThreadTest, EndingLetsTheJobInProgressFinishAndDropsTheRest) {
  WindowLoop window;
  std::atomic<bool> firstEnded{false};
  std::atomic<bool> secondRan{false};
  std::atomic<bool> started{false};
  {
    LineThread line(window.Wake());
    line.Post([&] {
      started = true;
      // Nobody delivers any more: the line must not wait for this message for ever.
      line.ToWindowAndWait([] {});
      firstEnded = true;
    });
    line.Post([&] { secondRan = true; });
    while (!started) std::this_thread::yield();
  }
  EXPECT_TRUE(firstEnded);
  EXPECT_FALSE(secondRan);
}

TEST(LineThreadTest, WithoutAWakeUpEverythingRunsAtOnceOnTheCallersThread) {
  LineThread line;
  std::vector<int> order;
  line.Post([&] {
    order.push_back(1);
    line.ToWindow([&] { order.push_back(2); });
    line.ToWindowAndWait([&] { order.push_back(3); });
  });
  line.RunHereOrPost([&] { order.push_back(4); });
  EXPECT_THAT(order, ElementsAre(1, 2, 3, 4));
  EXPECT_TRUE(line.Idle());
}

TEST(LineThreadTest, BeforeItsFirstJobThePortIsUsedOnTheCallersThread) {
  WindowLoop window;
  LineThread line(window.Wake());
  std::thread::id ranOn;
  line.RunHereOrPost([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  std::atomic<bool> posted{false};
  line.Post([&] { line.ToWindow([] {}); });
  line.RunHereOrPost([&] { posted = std::this_thread::get_id() != ranOn; });
  window.DeliverNext(line);
  while (!line.Idle()) std::this_thread::yield();
  EXPECT_TRUE(posted);
}

}  // namespace
}  // namespace quorvel
