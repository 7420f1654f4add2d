#include "cli/run_report.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "app/fixed_text.h"
#include "card/hex_rows.h"
#include "card/row_explanations.h"
#include "cli/json_string.h"
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

RunReport::RunReport(CheckedOutput& out, RowFormat format, bool explain, const RowList& rows,
                     const OutputPanel& panel)
    : out_(out), format_(format), explain_(explain), rows_(rows), panel_(panel) {}

std::string ForTheCommandLine(std::string explanation) {
  // The longer text first: the one contains the other.
  static const std::pair<std::string_view, std::string_view> kWindowWords[] = {
      {"with Inv ticked", "with Inv on"},
      {"untick Inv and press Reset", "set Inv off in the SCC file and run it again"},
      {"tick Inv and press Reset", "set Inv on in the SCC file and run it again"},
      {"(click Reset)", "(a run resets it first, unless --no-reset is given)"},
  };
  for (const auto& [window, commandLine] : kWindowWords) {
    for (std::size_t at; (at = explanation.find(window)) != std::string::npos;)
      explanation.replace(at, window.size(), commandLine);
  }
  return explanation;
}

std::string RunReport::NewRows() {
  std::string text;
  for (; printed_ < rows_.GetCount(); ++printed_) {
    text += rows_.GetText(printed_) + '\n';
    if (explain_)
      AppendIndented(text, ForTheCommandLine(panel_.ExplainRow(printed_)), "  # ", "\n");
  }
  return text;
}

std::string RunReport::NewRowsAsJson() {
  std::string json;
  if (explain_) {
    json = ", \"rows\": [";
    for (int row = printed_; row < rows_.GetCount(); ++row) {
      std::string explanation = ForTheCommandLine(panel_.ExplainRow(row));
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
    out_.Write(NewRows());
    return;
  }
  out_.Write(
      "{\"reset\": true, \"atr\": " + JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount)) +
      ", \"ms\": " + Milliseconds(timing.took) + NewRowsAsJson() + "}\n");
}

void RunReport::Command(int index, const CardCommand& command, const ExchangeState& exchange,
                        int result, const ExchangeTiming& timing) {
  if (format_ == RowFormat::kRows) {
    out_.Write(NewRows());
    return;
  }
  const std::string comment = ShownText(TextOf(command.comment));
  const std::string sw =
      result == 1 ? JsonString(StatusRowText(exchange.statusWord, exchange.statusArrived))
                  : std::string("null");
  out_.Write("{\"index\": " + std::to_string(index) + ", \"comment\": " + JsonString(comment) +
             ", \"header\": " + JsonString(FormatHeaderText(command)) +
             ", \"received\": " + JsonString(HexBytes(exchange.rxBuffer, exchange.lastCount)) +
             ", \"sw\": " + sw + ", \"completed\": " + (result == 1 ? "true" : "false") +
             ", \"ms\": " + Milliseconds(timing.took) + NewRowsAsJson() + "}\n");
}

}  // namespace quorvel
