#include "app/run_report.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "app/fixed_text.h"
#include "app/json_string.h"
#include "card/hex_rows.h"
#include "card/row_explanations.h"
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

RunReport::RunReport(std::ostream& out, RowFormat format, bool explain, const RowList& rows,
                     const OutputPanel& panel)
    : out_(out), format_(format), explain_(explain), rows_(rows), panel_(panel) {}

void RunReport::PrintNewRows() {
  for (; printed_ < rows_.GetCount(); ++printed_) {
    std::string text = rows_.GetText(printed_) + '\n';
    if (explain_) AppendIndented(text, panel_.ExplainRow(printed_), "  # ", "\n");
    out_ << text;
  }
}

std::string RunReport::NewRowsAsJson() {
  std::string json;
  if (explain_) {
    json = ", \"rows\": [";
    for (int row = printed_; row < rows_.GetCount(); ++row) {
      std::string explanation = panel_.ExplainRow(row);
      if (!explanation.empty() && explanation.back() == '\n') explanation.pop_back();
      json += (row > printed_ ? ", " : "") + std::string("{\"text\": ") +
              JsonString(rows_.GetText(row)) + ", \"explanation\": " + JsonString(explanation) +
              "}";
    }
    json += "]";
  }
  printed_ = rows_.GetCount();
  return json;
}

void RunReport::Reset(const ExchangeState& exchange, const ExchangeTiming& timing) {
  if (format_ == RowFormat::kRows) {
    PrintNewRows();
  } else {
    out_ << "{\"reset\": true, \"atr\": "
         << JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount))
         << ", \"ms\": " << Milliseconds(timing.took) << NewRowsAsJson() << "}\n";
  }
  out_.flush();
}

void RunReport::Command(int index, const CardCommand& command, const ExchangeState& exchange,
                        int result, const ExchangeTiming& timing) {
  if (format_ == RowFormat::kRows) {
    PrintNewRows();
  } else {
    const std::string comment = ShownText(TextOf(command.comment));
    const std::string sw =
        result == 1 ? JsonString(StatusRowText(exchange.statusWord, exchange.statusArrived))
                    : std::string("null");
    out_ << "{\"index\": " << index << ", \"comment\": " << JsonString(comment)
         << ", \"header\": " << JsonString(FormatHeaderText(command))
         << ", \"received\": " << JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount))
         << ", \"sw\": " << sw << ", \"completed\": " << (result == 1 ? "true" : "false")
         << ", \"ms\": " << Milliseconds(timing.took) << NewRowsAsJson() << "}\n";
  }
  out_.flush();
}

}  // namespace quorvel
