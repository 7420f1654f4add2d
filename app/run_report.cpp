#include "app/run_report.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/json_string.h"
#include "card/hex_rows.h"
#include "commands/command_text.h"
#include "controls/field_text.h"

namespace quorvel {
namespace {

// Received bytes as the rows show them, joined by single blanks: "3B 6C 00".
std::string HexBytes(const std::uint8_t* bytes, std::uint32_t count) {
  std::string text = HexRow(bytes, count);
  if (!text.empty()) text.pop_back();  // the row's trailing blank
  return text;
}

std::string Milliseconds(std::chrono::nanoseconds took) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double, std::milli>(took).count());
  return text;
}

}  // namespace

RunReport::RunReport(std::ostream& out, RowFormat format, const RowList& rows)
    : out_(out), format_(format), rows_(rows) {}

void RunReport::PrintNewRows() {
  for (; printed_ < rows_.GetCount(); ++printed_) out_ << rows_.GetText(printed_) << '\n';
}

void RunReport::Reset(const ExchangeState& exchange, const ExchangeTiming& timing) {
  if (format_ == RowFormat::kRows) {
    PrintNewRows();
  } else {
    printed_ = rows_.GetCount();
    out_ << "{\"reset\": true, \"atr\": "
         << JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount))
         << ", \"ms\": " << Milliseconds(timing.took) << "}\n";
  }
  out_.flush();
}

void RunReport::Command(int index, const CardCommand& command, const ExchangeState& exchange,
                        int result, const ExchangeTiming& timing) {
  if (format_ == RowFormat::kRows) {
    PrintNewRows();
  } else {
    printed_ = rows_.GetCount();
    const std::string comment = ShownText(
        std::string_view(command.comment, strnlen(command.comment, sizeof command.comment)));
    const std::string sw =
        result == 1 ? JsonString(StatusRowText(exchange.statusWord, exchange.statusArrived))
                    : std::string("null");
    out_ << "{\"index\": " << index << ", \"comment\": " << JsonString(comment)
         << ", \"header\": " << JsonString(FormatHeaderText(command))
         << ", \"received\": " << JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount))
         << ", \"sw\": " << sw << ", \"completed\": " << (result == 1 ? "true" : "false")
         << ", \"ms\": " << Milliseconds(timing.took) << "}\n";
  }
  out_.flush();
}

}  // namespace quorvel
