#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <type_traits>

namespace quorvel::testing {

// Runs `step` in a forked copy of the test process and returns its exit status,
// or -1 when it could not start or did not exit by itself: a crash, an abort, or
// the alarm that ends it after `seconds`, so a hang fails the test instead of
// stalling the run.
inline int InChild(const std::function<int()>& step, unsigned seconds = 30) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    alarm(seconds);
    _exit(step());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when `step` runs to its end within `seconds` in a copy of the process (and, when it
// returns a bool, returns true): a step that may hang or crash is tried there before the test
// runs it for real, and a hang fails the test instead of stalling the run.
template <class Step>
bool FinishesWithin(unsigned seconds, const Step& step) {
  return InChild(
             [&] {
               if constexpr (std::is_void_v<decltype(step())>) {
                 step();
                 return 0;
               } else {
                 return step() ? 0 : 1;
               }
             },
             seconds) == 0;
}

// Root passes every permission check; a test of one gives its child an ordinary
// user's rights first. False when that is not possible.
inline bool BecomeOrdinaryUser() {
  if (geteuid() != 0) return true;
  return setgid(65534) == 0 && setuid(65534) == 0;
}

}  // namespace quorvel::testing
