// The real quorvel executable started and run to its end, without pcscd and with the tests'
// own (./bench.sh starts one): --version (loading the program and its libraries), and --run of
// one GET CHALLENGE on the demo card (its Reset's fixed waits included). QUORVEL_BENCH_PROGRAM
// names another build of the program to time, such as one from before PC/SC readers. Target:
// unchanged within 5 % of that build's figures.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace quorvel {
namespace {

std::string Program() {
  const char* other = std::getenv("QUORVEL_BENCH_PROGRAM");
  return other != nullptr ? other : QUORVEL_PROGRAM;
}

// The environment of this process with PCSCLITE_CSOCK_NAME set to `socket`, or to a path where
// nothing listens.
std::vector<std::string> Environment(bool withService, const std::string& nowhere) {
  std::vector<std::string> environment;
  std::string socket = "PCSCLITE_CSOCK_NAME=" + nowhere;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("PCSCLITE_CSOCK_NAME=", 0) == 0) {
      if (withService) socket = variable;
    } else {
      environment.push_back(variable);
    }
  }
  environment.push_back(socket);
  environment.push_back("QT_QPA_PLATFORM=does-not-exist");  // a run must load no plugin
  return environment;
}

// Runs the program to its end in `folder`; its exit status, or -1.
int RunProgram(std::vector<std::string> args, std::vector<std::string> environment,
               const std::string& folder) {
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void BM_CommandLineStartUp(benchmark::State& state) {
  const bool run = state.range(0) == 1;
  const bool withService = state.range(1) == 1;
  if (withService && std::getenv("PCSCLITE_CSOCK_NAME") == nullptr) {
    state.SkipWithError("needs the tests' own pcscd: run through ./bench.sh");
    return;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::ofstream(folder + "/challenge.txt") << "00 84 00 00 08\n";
  const std::vector<std::string> environment = Environment(withService, folder + "/none.comm");
  const std::vector<std::string> args =
      run ? std::vector<std::string>{Program(), "--run", "challenge.txt",
                                     "--port",  "DEMO",  "--no-log"}
          : std::vector<std::string>{Program(), "--version"};
  for (auto _ : state) {
    if (RunProgram(args, environment, folder) != 0) {
      state.SkipWithError("the program did not end with status 0");
      break;
    }
  }
  std::filesystem::remove_all(folder);
  state.SetLabel(std::string(run ? "--run" : "--version") +
                 (withService ? ", with pcscd" : ", no pcscd"));
}
BENCHMARK(BM_CommandLineStartUp)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"run", "pcscd"})
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
