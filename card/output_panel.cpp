#include "card/output_panel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "card/hex_rows.h"
#include "card/row_explanations.h"

namespace quorvel {

OutputPanel::OutputPanel(ListBox& outputList, EditBox& countEdit, CheckBox& binCheck)
    : output_list_(outputList), count_edit_(countEdit), bin_check_(binCheck) {}

void OutputPanel::OpenLogFile(const std::string& logFileName, Links links, LogStart start) {
  log_.Close();
  log_name_ = logFileName;
  log_trouble_.clear();
  log_reset_ = RowTag::kNoExchange;
  const bool binary = bin_check_.GetCheck() != 0;
  if (start == LogStart::kHeld) {
    log_.Hold(logFileName, binary, links == Links::kRefuse);
  } else if (links == Links::kRefuse) {
    log_.OpenWithoutLinks(logFileName, binary);
  } else {
    log_.Open(logFileName, binary);
  }
  if (!log_.IsOpen())
    log_trouble_ = std::string("could not be created (") + std::strerror(errno) + ")";
}

void OutputPanel::ShowByteCount(std::uint32_t total) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(total));
  count_edit_.SetText(text);
}

void OutputPanel::AppendHexRows(const std::uint8_t* bytes, std::uint32_t count, RowKind kind,
                                std::uint16_t piece) {
  if (BinOn()) log_.WriteRaw(bytes, count);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t k = std::min<std::size_t>(kBytesPerHexRow, count - done);
    const std::string row = HexRow(bytes + done, k);
    Tag(kind, piece, static_cast<std::uint16_t>(done / kBytesPerHexRow));
    done += k;
    output_list_.AddString(row);
    if (TextOn()) log_.WriteLine(row);
  }
}

void OutputPanel::AppendStatusRow(const std::uint8_t statusWord[2], int arrived) {
  const int logged = std::clamp(arrived, 0, 2);
  if (BinOn()) log_.WriteRaw(statusWord, static_cast<std::size_t>(logged));
  const std::string row = StatusRowText(statusWord, arrived);
  Tag(RowKind::kStatus);
  output_list_.AddString(row);
  if (TextOn()) log_.WriteLine(row);
}

void OutputPanel::AppendRow(RowKind kind, const std::string& text) {
  Tag(kind);
  output_list_.AddString(text);
}

void OutputPanel::Tag(RowKind kind, std::uint16_t piece, std::uint16_t position) {
  tags_.push_back(RowTag{open_exchange_, kind, piece, position});
}

void OutputPanel::RemoveAllRows() {
  for (int last = output_list_.GetCount() - 1; last >= 0; --last) output_list_.DeleteString(last);
  tags_.clear();
  // No row refers to a record any more, unless one is being filled.
  if (open_exchange_ == RowTag::kNoExchange) records_.clear();
}

ExchangeRecord& OutputPanel::OpenExchange(ExchangeRecord record) {
  open_exchange_ = static_cast<std::uint32_t>(records_.size());
  records_.push_back(std::move(record));
  ExchangeRecord& opened = records_.back();
  if (opened.reset && log_reset_ == RowTag::kNoExchange) {
    log_reset_ = open_exchange_;
    if (!log_trouble_.empty()) opened.reset->logTrouble = LogTroubleText();
  }
  return opened;
}

std::string OutputPanel::LogTroubleText() const {
  return "The log file \"" + log_name_ + "\" " + log_trouble_ +
         (log_.IsOpen() ? ": the log is incomplete." : ": nothing is logged.");
}

void OutputPanel::CloseExchange() {
  open_exchange_ = RowTag::kNoExchange;
}

std::vector<std::uint8_t> OutputPanel::ReceptionOf(int row) const {
  const std::uint32_t exchange = tags_[static_cast<std::size_t>(row)].exchange;
  const std::uint16_t piece = tags_[static_cast<std::size_t>(row)].piece;
  // The rows that set T=1 up are a reception of their own after the ATR's.
  const RowKind kind = tags_[static_cast<std::size_t>(row)].kind == RowKind::kProtocolSetup
                           ? RowKind::kProtocolSetup
                           : RowKind::kReceived;
  const auto same = [&](int r) {
    return r >= 0 && r < static_cast<int>(tags_.size()) &&
           tags_[static_cast<std::size_t>(r)].exchange == exchange;
  };
  if (exchange == RowTag::kNoExchange) {
    // Rows outside a Reset or Execute stand alone.
    return ReadHexRow(output_list_.GetText(row));
  }
  // An exchange's rows are appended together, so they lie next to each other.
  int first = row;
  while (same(first - 1)) --first;
  std::vector<std::uint8_t> bytes;
  for (int r = first; same(r); ++r) {
    const RowTag& tag = tags_[static_cast<std::size_t>(r)];
    if (tag.kind != kind || tag.piece != piece) continue;
    const std::vector<std::uint8_t> part = ReadHexRow(output_list_.GetText(r));
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

std::string OutputPanel::ExplainRow(int row) const {
  if (row < 0 || row >= static_cast<int>(tags_.size()) || row >= output_list_.GetCount()) {
    return std::string();
  }
  const RowTag& tag = tags_[static_cast<std::size_t>(row)];
  const std::string text = output_list_.GetText(row);
  const std::vector<std::uint8_t> reception = ReceptionOf(row);
  RowToExplain what;
  what.kind = tag.kind;
  what.piece = tag.piece;
  what.position = tag.position;
  what.text = text;
  what.exchange = tag.exchange < records_.size() ? &records_[tag.exchange] : nullptr;
  what.reception = reception;
  what.atrList = atr_list_;
  return quorvel::ExplainRow(what);
}

std::string OutputPanel::RowsAsText(const std::vector<int>& rows, bool withExplanations) const {
  std::string text;
  for (int row : rows) {
    if (row < 0 || row >= output_list_.GetCount()) continue;
    text += output_list_.GetText(row);
    text += kTextLogLineEnd;
    if (withExplanations) AppendIndented(text, ExplainRow(row), "  ", kTextLogLineEnd);
  }
  return text;
}

void OutputPanel::ScrollOutputToEnd() {
  const int rows = output_list_.GetCount();
  if (rows > 0) output_list_.SetCaretIndex(rows - 1);
}

void OutputPanel::FlushLog() {
  log_.Flush();
  if (log_.writeError() == 0 || !log_trouble_.empty()) return;
  log_trouble_ = std::string("incomplete (") + std::strerror(log_.writeError()) + ")";
  if (log_reset_ < records_.size() && records_[log_reset_].reset)
    records_[log_reset_].reset->logTrouble = "Writing the log file \"" + log_name_ + "\" failed (" +
                                             std::strerror(log_.writeError()) +
                                             "): the log is incomplete.";
}

}  // namespace quorvel
