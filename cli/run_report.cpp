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
#include "controls/field_text.h"

namespace quorvel {
namespace {

// Received bytes as the rows show them, joined by single blanks: "3B 6C 00".
std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  std::string text = HexRow(bytes, count);
  if (!text.empty()) text.pop_back();  // the row's trailing blank
  return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  return HexBytes(bytes.data(), bytes.size());
}

// "[{"sent": true, "bytes": "00 00 05 ...", "meaning": "..."}, ...]"
std::string BlocksJson(const std::vector<ExchangeBlock>& blocks) {
  std::string json = "[";
  for (const ExchangeBlock& block : blocks) {
    if (json.size() > 1) json += ", ";
    json += std::string("{\"sent\": ") + (block.sent ? "true" : "false") +
            ", \"bytes\": " + JsonString(HexBytes(block.bytes)) +
            ", \"meaning\": " + JsonString(block.meaning) + "}";
  }
  return json + "]";
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

std::string RunReport::NewRows(int end) {
  std::string text;
  for (; printed_ < end; ++printed_) {
    text += rows_.GetText(printed_) + '\n';
    if (explain_)
      AppendIndented(text, ForTheCommandLine(panel_.ExplainRow(printed_)), "  # ", "\n");
  }
  return text;
}

std::string RunReport::NewRowsAsJson(int end) {
  std::string json;
  if (explain_) {
    json = ", \"rows\": [";
    for (int row = printed_; row < end; ++row) {
      std::string explanation = ForTheCommandLine(panel_.ExplainRow(row));
      if (!explanation.empty() && explanation.back() == '\n') explanation.pop_back();
      json += (row > printed_ ? ", " : "") + std::string("{\"text\": ") +
              JsonString(rows_.GetText(row)) + ", \"explanation\": " + JsonString(explanation) +
              "}";
    }
    json += "]";
  }
  printed_ = end;
  return json;
}

void RunReport::Reset(const std::vector<ResetRound>& rounds, const std::vector<int>& rowStarts,
                      bool speedNegotiation, const ChannelInUse& inUse) {
  const int end = rows_.GetCount();
  if (format_ == RowFormat::kRows) {
    out_.Write(NewRows(end));
    return;
  }
  std::string lines;
  for (std::size_t i = 0; i < rounds.size(); ++i) {
    const ResetRound& round = rounds[i];
    std::string json = "{\"reset\": true, \"atr\": " + JsonString(HexBytes(round.atr)) +
                       ", \"ms\": " + Milliseconds(round.took);
    if (round.protocol) json += ", \"protocol\": " + JsonString(ProtocolName(*round.protocol));
    if (!inUse.reader.empty()) json += ", \"reader\": " + JsonString(inUse.reader);
    if (speedNegotiation && round.speed) {
      json += ", \"pps\": " + JsonString(HexBytes(round.speed->received)) +
              ", \"baud\": " + std::to_string(round.speed->baud);
    }
    if (!round.setupBlocks.empty()) json += ", \"blocks\": " + BlocksJson(round.setupBlocks);
    const int roundEnd = i + 1 < rounds.size() && i + 1 < rowStarts.size() ? rowStarts[i + 1] : end;
    lines += json + NewRowsAsJson(roundEnd) + "}\n";
  }
  printed_ = end;
  out_.Write(lines);
}

void RunReport::Command(int index, const std::vector<ReportedExchange>& exchanges,
                        const Expectation& expect, const ExecuteOutcome& outcome) {
  if (format_ == RowFormat::kRows) {
    out_.Write(NewRows(rows_.GetCount()));
    return;
  }
  std::string lines;
  for (const ReportedExchange& e : exchanges) {
    std::string json = "{";
    if (e.automatic) {
      json +=
          std::string("\"auto\": ") +
          (*e.automatic == AutomaticCause::Kind::kGetResponse ? "\"get-response\"" : "\"resend\"") +
          ", \"after\": " + std::to_string(index);
    } else {
      json += "\"index\": " + std::to_string(index);
    }
    const std::string sw = e.result == 1 ? JsonString(StatusRowText(e.statusWord, e.statusArrived))
                                         : std::string("null");
    json += ", \"comment\": " + JsonString(ShownText(e.comment)) +
            ", \"header\": " + JsonString(HexBytes(e.header, 5)) +
            ", \"received\": " + JsonString(HexBytes(e.received)) +
            ", \"response\": " + JsonString(HexBytes(e.response)) + ", \"sw\": " + sw +
            ", \"completed\": " + (e.result == 1 ? "true" : "false") +
            ", \"ms\": " + Milliseconds(e.took);
    if (!e.blocks.empty()) json += ", \"blocks\": " + BlocksJson(e.blocks);
    if (e.result != 1 && !e.failure.empty()) json += ", \"failure\": " + JsonString(e.failure);
    if (e.clearedBeforeHeader != 0) {
      json += ", \"cleared\": " + std::to_string(e.clearedBeforeHeader);
    }
    if (!e.automatic && !expect.empty()) {
      json += ", \"expect\": " + JsonString(ExpectationText(expect)) +
              ", \"met\": " + (outcome.met ? "true" : "false");
    }
    if (&e == &exchanges.back() && outcome.bound) json += ", \"bound\": true";
    lines += json + NewRowsAsJson(e.rowsEnd) + "}\n";
  }
  out_.Write(lines);
}

}  // namespace quorvel
