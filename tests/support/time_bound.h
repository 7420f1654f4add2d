#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

namespace quorvel::testing {

// Runs step in a child process that is killed once the bound is over. True when the step
// finished in time and returned true: a hang fails the test instead of stalling the run.
inline bool FinishesWithin(std::chrono::seconds bound, const std::function<bool()>& step) {
  const pid_t child = fork();
  if (child == 0) {
    alarm(static_cast<unsigned>(bound.count()));
    _exit(step() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quorvel::testing
