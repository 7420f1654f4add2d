#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "card/exchange_record.h"
#include "card/log_file.h"
#include "controls/controls.h"
#include "iso7816/atr_list.h"

namespace quorvel {

// The output list, the byte counter and the log file, as Reset and Execute use
// them. What goes to the log follows the "Bin" box at each write; the file's
// mode follows it at the moment the log is opened.
//
// Beside each row it keeps a small tag, and one record per Reset or Execute, so
// that any row can be explained when someone asks; explanations are never stored.
class OutputPanel {
 public:
  OutputPanel(ListBox& outputList, EditBox& countEdit, CheckBox& binCheck);

  enum class Links { kFollow, kRefuse };
  enum class LogStart {
    kNow,   // the file is created at once
    kHeld,  // what is logged is held until CommitLogFile creates the file
  };
  // Closes the open log and creates `logFileName` anew, binary when "Bin" is
  // on; with kRefuse never through a symbolic link. A name that cannot be
  // created leaves no log open, silently.
  void OpenLogFile(const std::string& logFileName, Links links = Links::kFollow,
                   LogStart start = LogStart::kNow);
  // A held log: creates the file with what was logged so far; false when it cannot be.
  bool CommitLogFile() { return log_.Commit(); }
  // What went wrong with the log opened last, for the user: "could not be created (...)" or
  // "incomplete (...)" once a write failed; empty while it is whole.
  const std::string& logTrouble() const { return log_trouble_; }
  // Closes the log: nothing is logged until it is opened again.
  void CloseLogFile() { log_.Close(); }
  // The counter shows `total` in decimal.
  void ShowByteCount(std::uint32_t total);
  // Rows of 16 bytes (the last may be shorter); logged raw with "Bin" on, as
  // text lines with "Bin" off. `piece` numbers the parts of one reception that are each
  // shown as rows of their own (a T=1 exchange's blocks).
  void AppendHexRows(const std::uint8_t* bytes, std::uint32_t count,
                     RowKind kind = RowKind::kReceived, std::uint16_t piece = 0);
  // SW1 SW2; the binary log receives only the status bytes that arrived.
  void AppendStatusRow(const std::uint8_t statusWord[2], int arrived);
  // Marker, failure and hint rows: shown, never logged.
  void AppendRow(RowKind kind, const std::string& text);
  void RemoveAllRows();

  // Rows appended from here until CloseExchange belong to this Reset or Execute. The
  // returned record may be completed while it is open (a Reset learns its timing late).
  ExchangeRecord& OpenExchange(ExchangeRecord record);
  void CloseExchange();

  // What the row means, as plain text of one or more lines, made now; empty when there
  // is no such row.
  std::string ExplainRow(int row) const;
  // The rows as the text log has them, each followed by its line end; with explanations,
  // each row's explanation follows it, every line indented.
  std::string RowsAsText(const std::vector<int>& rows, bool withExplanations) const;
  // Moves the caret to the last row and scrolls it into view.
  void ScrollOutputToEnd();
  // Hands the log's buffered bytes to the system; the first write that failed becomes the
  // log's trouble and is told in the explanation of the Reset that opened it.
  void FlushLog();

  const LogFile& log() const { return log_; }
  // Where ATR rows find their card's name: the system's list unless told otherwise.
  void UseAtrList(const AtrList& list) { atr_list_ = &list; }

 private:
  bool BinOn() const { return bin_check_.GetCheck() == 1; }
  std::string LogTroubleText() const;
  bool TextOn() const { return bin_check_.GetCheck() == 0; }
  void Tag(RowKind kind, std::uint16_t piece = 0, std::uint16_t position = 0);
  // The bytes of every hex row of the row's piece of its exchange, in order.
  std::vector<std::uint8_t> ReceptionOf(int row) const;

  ListBox& output_list_;
  EditBox& count_edit_;
  CheckBox& bin_check_;
  LogFile log_;
  std::string log_name_;
  std::string log_trouble_;
  std::uint32_t log_reset_ = RowTag::kNoExchange;  // the Reset whose log it is
  std::vector<RowTag> tags_;                       // one per row of the output list
  std::deque<ExchangeRecord> records_;             // grows without moving the records
  std::uint32_t open_exchange_ = RowTag::kNoExchange;
  AtrList system_atr_list_;  // read on the first ATR explanation, never before
  const AtrList* atr_list_ = &system_atr_list_;
};

}  // namespace quorvel
