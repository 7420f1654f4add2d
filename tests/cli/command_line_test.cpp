#include "cli/command_line.h"

#include <gtest/gtest.h>

#include "cli/batch_run.h"

namespace quorvel {
namespace {

TEST(CommandLineTest, ReadsEveryOptionOfARunInEitherForm) {
  const CommandLine line = ParseCommandLine(
      {"--port=USB0", "--run", "list.scc", "--settings", "COM1: 9600,n,8,1", "--no-reset", "--log",
       "out.log", "--explain", "--format=jsonl", "--strict-timing", "--trace", "s.pcap",
       "--gsmtap=localhost:5000", "--trace-pins"});
  EXPECT_EQ(line.mode, CommandLineMode::kRun);
  EXPECT_EQ(line.file, "list.scc");
  EXPECT_EQ(line.port, "USB0");
  EXPECT_EQ(line.settings, "COM1: 9600,n,8,1");
  EXPECT_FALSE(line.reset);
  EXPECT_EQ(line.logFile, "out.log");
  EXPECT_TRUE(line.log);
  EXPECT_TRUE(line.explain);
  EXPECT_EQ(line.format, RowFormat::kJsonLines);
  EXPECT_TRUE(line.strictTiming);
  EXPECT_EQ(line.traceFile, "s.pcap");
  ASSERT_TRUE(line.gsmtap);
  EXPECT_EQ(GsmtapTargetText(*line.gsmtap), "localhost:5000");
  EXPECT_TRUE(line.tracePins);
}

TEST(CommandLineTest, ModesAndFiles) {
  struct Case {
    std::vector<std::string> arguments;
    CommandLineMode mode;
    std::optional<std::string> file;
  };
  const Case cases[] = {
      {{}, CommandLineMode::kWindow, std::nullopt},
      {{"list.scc"}, CommandLineMode::kWindow, "list.scc"},
      {{"--", "--run"}, CommandLineMode::kWindow, "--run"},  // a file named like an option
      {{"-"}, CommandLineMode::kWindow, "-"},
      {{"--list", "a.scc"}, CommandLineMode::kList, "a.scc"},
      {{"--run", "a.scc", "--help"}, CommandLineMode::kHelp, "a.scc"},
      {{"--version"}, CommandLineMode::kVersion, std::nullopt},
      {{"a.scc", "b.scc"}, CommandLineMode::kUsageError, "a.scc"},
      {{"--run=a.scc"}, CommandLineMode::kUsageError, std::nullopt},
      {{"--log", "x", "--no-log", "--run", "a.scc"}, CommandLineMode::kUsageError, std::nullopt},
      {{"--run", "a.scc", "--trace-pins"}, CommandLineMode::kUsageError, std::nullopt},
      {{"--run", "a.scc", "--gsmtap", "h:0"}, CommandLineMode::kUsageError, std::nullopt},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.arguments);
    const std::string shown = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(line.mode, c.mode) << shown << ": " << line.error;
    if (c.mode != CommandLineMode::kUsageError) {
      EXPECT_EQ(line.file, c.file) << shown;
    }
    EXPECT_EQ(line.error.empty(), c.mode != CommandLineMode::kUsageError) << shown;
  }
}

TEST(CommandLineTest, ExploreTakesTheCardOptionsAndNoFile) {
  const CommandLine line = ParseCommandLine(
      {"--explore", "--port", "DEMU", "--pps", "--verify-pin1", "--format", "jsonl", "--no-log"});
  EXPECT_EQ(line.mode, CommandLineMode::kExplore) << line.error;
  EXPECT_EQ(line.port, "DEMU");
  EXPECT_TRUE(line.speedNegotiation && line.verifyPin1 && !line.log);
  EXPECT_EQ(line.format, RowFormat::kJsonLines);
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{"--explore", "a.scc"}, "--explore takes no file, not \"a.scc\": it walks the card"},
      {{"--explore", "--no-reset"}, "--no-reset goes only with --run"},
      {{"--explore", "--auto-response"}, "--auto-response goes only with --run"},
      {{"--run", "a.scc", "--verify-pin1"}, "--verify-pin1 goes only with --explore"},
      {{"--list", "a.scc", "--port", "DEMO"}, "--port goes only with --run or --explore"},
      {{"--explore", "--run", "a.scc"},
       "--run, --explore, --list and --convert cannot be used together"},
  };
  for (const auto& [arguments, error] : refused) {
    const CommandLine refusal = ParseCommandLine(arguments);
    EXPECT_EQ(refusal.mode, CommandLineMode::kUsageError) << error;
    EXPECT_EQ(refusal.error, error);
  }
}

TEST(CommandLineTest, PortAndSettingsReplaceTheFilesStrings) {
  const std::string stored = "COM2: baud=9600 parity=E data=8 stop=2";
  auto settings = [&](std::vector<std::string> options) {
    options.insert(options.begin(), {"--run", "a.scc"});
    const CommandLine line = ParseCommandLine(options);
    EXPECT_EQ(line.mode, CommandLineMode::kRun) << line.error;
    return BatchSettings(stored, line);
  };
  EXPECT_EQ(settings({}), stored);
  EXPECT_EQ(settings({"--port", "DEMO"}), "DEMO: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(settings({"--settings", "USB0: baud=115200"}), "USB0: baud=115200");
  EXPECT_EQ(settings({"--settings", "USB0: baud=115200", "--port", "ACM1"}), "ACM1: baud=115200");
}

}  // namespace
}  // namespace quorvel
