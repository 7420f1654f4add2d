#include "commands/command_script.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quorvel {
namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

template <std::size_t N>
void SetDefault(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::memcpy(field, text, std::min(std::strlen(text), N - 1));
}

}  // namespace

SccSettings DefaultSccSettings() {
  SccSettings settings;
  static constexpr const char* kSettings = "COM2: baud=9600 parity=E data=8 stop=2";
  static constexpr const char* kSecondSettings = "COM2: baud=10472 parity=E data=8 stop=2";
  SetDefault(settings.logFileName, kDefaultLogFileName);
  SetDefault(settings.altLogFileName, "test2.txt");
  SetDefault(settings.executeSettings, kSettings);
  SetDefault(settings.altExecuteSettings, kSecondSettings);
  SetDefault(settings.resetSettings, kSettings);
  SetDefault(settings.altResetSettings, kSecondSettings);
  settings.reservedWord = 2;
  std::memset(settings.reservedBlock, 0, sizeof settings.reservedBlock);
  settings.reservedBlock[0] = 0x90;
  settings.bin = 0;
  settings.inverse = 0;
  return settings;
}

std::size_t CommandScript::CommandCount() const {
  std::size_t count = 0;
  for (const ScriptStep& step : steps) count += step.IsReset() ? 0 : 1;
  return count;
}

bool CommandScript::KeepsCount() const {
  return scc.count && *scc.count < 0 && CommandCount() == 0;
}

SccLoss LostInScc(const CommandScript& script) {
  SccLoss loss;
  for (const ScriptStep& step : script.steps) {
    if (step.IsReset()) {
      ++loss.resets;
      continue;
    }
    if (!step.expect.empty()) ++loss.expectations;
    if (step.le) ++loss.les;
  }
  return loss;
}

std::string SccLossText(const SccLoss& loss) {
  std::vector<std::string> parts;
  if (loss.expectations > 0)
    parts.push_back(Counted(loss.expectations, "expected answer", "expected answers"));
  if (loss.resets > 0) parts.push_back(Counted(loss.resets, "Reset line", "Reset lines"));
  if (loss.les > 0)
    parts.push_back(Counted(loss.les, "Le of a case 4 command", "Les of case 4 commands"));
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  return text;
}

}  // namespace quorvel
