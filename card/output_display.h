#pragma once

#include <cstdint>

#include "card/output_panel.h"
#include "card/session_display.h"

namespace quorvel {

// Shows a session's steps in the output panel: the rows, the counter and the log, as
// Reset and Execute have always shown them.
class OutputPanelDisplay final : public SessionDisplay {
 public:
  // totalBytes is the owner's byte count, restarted by each Reset.
  OutputPanelDisplay(OutputPanel& output, std::uint32_t& totalBytes);

  void ResetBegun(ExchangeRecord record) override;
  void ResetAnswered(const ResetAnswer& answer) override;
  void SpeedSettled(const SpeedAnswer& answer) override;
  void CommandAnswered(CommandAnswer answer) override;

 private:
  OutputPanel& output_;
  std::uint32_t& total_bytes_;
  ExchangeRecord* reset_ = nullptr;  // the Reset between its steps
};

}  // namespace quorvel
