#include "cli/reporting_display.h"

#include <algorithm>
#include <utility>

namespace quorvel {

void ReportingDisplay::ResetBegun(ExchangeRecord record) {
  reset_rows_.push_back(rows_.GetCount());
  shown_.ResetBegun(std::move(record));
}

void ReportingDisplay::CommandAnswered(CommandAnswer answer) {
  ReportedExchange reported;
  if (const AutomaticCause* cause = answer.record.automatic.get()) {
    reported.automatic = cause->kind;
    reported.lastAllowed = cause->lastAllowed;
  }
  reported.comment = answer.record.comment;
  std::copy(std::begin(answer.record.header), std::end(answer.record.header), reported.header);
  reported.received = answer.received;
  reported.response = answer.response;
  reported.blocks = answer.record.blocks;
  reported.failure = answer.record.failure;
  reported.clearedBeforeHeader = answer.record.clearedBeforeHeader;
  reported.result = answer.result;
  reported.statusWord[0] = answer.statusWord[0];
  reported.statusWord[1] = answer.statusWord[1];
  reported.statusArrived = answer.statusArrived;
  reported.took = answer.record.took;
  shown_.CommandAnswered(std::move(answer));
  reported.rowsEnd = rows_.GetCount();
  exchanges_.push_back(std::move(reported));
}

std::vector<ReportedExchange> ReportingDisplay::TakeExchanges() {
  return std::exchange(exchanges_, {});
}

std::vector<int> ReportingDisplay::TakeResetRows() {
  return std::exchange(reset_rows_, {});
}

}  // namespace quorvel
