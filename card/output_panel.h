#pragma once

#include <cstdint>
#include <string>

#include "card/log_file.h"
#include "controls/controls.h"

namespace quorvel {

// The output list, the byte counter and the log file, as Reset and Execute use
// them. What goes to the log follows the "Bin" box at each write; the file's
// mode follows it at the moment the log is opened.
class OutputPanel {
 public:
  OutputPanel(ListBox& outputList, EditBox& countEdit, CheckBox& binCheck);

  enum class Links { kFollow, kRefuse };
  // Closes the open log and creates `logFileName` anew, binary when "Bin" is
  // on; with kRefuse never through a symbolic link. A name that cannot be
  // created leaves no log open, silently.
  void OpenLogFile(const std::string& logFileName, Links links = Links::kFollow);
  // The counter shows `total` in decimal.
  void ShowByteCount(std::uint32_t total);
  // Rows of 16 bytes (the last may be shorter); logged raw with "Bin" on, as
  // text lines with "Bin" off.
  void AppendHexRows(const std::uint8_t* bytes, std::uint32_t count);
  // SW1 SW2; the binary log receives only the status bytes that arrived.
  void AppendStatusRow(const std::uint8_t statusWord[2], int arrived);
  // Marker, failure and hint rows: shown, never logged.
  void AppendRow(const std::string& text);
  void RemoveAllRows();
  // Moves the caret to the last row and scrolls it into view.
  void ScrollOutputToEnd();
  void FlushLog();

  const LogFile& log() const { return log_; }

 private:
  bool BinOn() const { return bin_check_.GetCheck() == 1; }
  bool TextOn() const { return bin_check_.GetCheck() == 0; }

  ListBox& output_list_;
  EditBox& count_edit_;
  CheckBox& bin_check_;
  LogFile log_;
};

}  // namespace quorvel
