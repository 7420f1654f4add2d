#include "commands/command_script.h"

#include <algorithm>
#include <cstring>

namespace quorvel {
namespace {

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
  SetDefault(settings.logFileName, "test.txt");
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

SccLoss LostInScc(const CommandScript& script) {
  SccLoss loss;
  for (const ScriptStep& step : script.steps) {
    if (step.IsReset()) {
      ++loss.resets;
    } else if (!step.expect.empty()) {
      ++loss.expectations;
    }
  }
  return loss;
}

}  // namespace quorvel
