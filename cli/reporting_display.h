#pragma once

#include <cstdint>
#include <vector>

#include "card/output_display.h"
#include "card/session_display.h"
#include "cli/run_report.h"
#include "controls/windowless_controls.h"

namespace quorvel {

// Shows a session's steps in the output panel, as the window does, and keeps what each
// exchange of the command running was, for the report.
class ReportingDisplay final : public SessionDisplay {
 public:
  ReportingDisplay(OutputPanel& output, std::uint32_t& totalBytes, const RowList& rows)
      : shown_(output, totalBytes), rows_(rows) {}

  void ResetBegun(ExchangeRecord record) override;
  void ResetAnswered(const ResetAnswer& answer) override { shown_.ResetAnswered(answer); }
  void SpeedSettled(const SpeedAnswer& answer) override { shown_.SpeedSettled(answer); }
  void CommandAnswered(CommandAnswer answer) override;

  // The exchanges shown since the last call.
  std::vector<ReportedExchange> TakeExchanges();
  // Where the rows of each reset pulse shown since the last call begin.
  std::vector<int> TakeResetRows();

 private:
  OutputPanelDisplay shown_;
  const RowList& rows_;
  std::vector<ReportedExchange> exchanges_;
  std::vector<int> reset_rows_;
};

}  // namespace quorvel
