#pragma once

#include <cstdint>

namespace quorvel {

// The main dialog's state that outlives one handler, with the widths that SCC
// files rely on.
struct MainDialogState {
  std::uint8_t m_reservedBlock[64]{};  // carried through SCC files untouched
  std::int32_t m_reservedWord = 2;
  std::uint32_t m_totalBytes = 0;
  char m_resetSettings[128]{};
  char m_executeSettings[128]{};
  char m_logFileName[128]{};
  char m_configPath[256]{};
  char m_altResetSettings[128]{};
  char m_altExecuteSettings[128]{};
  char m_altLogFileName[128]{};
  std::int32_t m_inverse = 0;

  MainDialogState() { m_reservedBlock[0] = 0x90; }
};

}  // namespace quorvel
