#include "card/output_panel.h"

#include <algorithm>
#include <cstdio>

#include "card/hex_rows.h"

namespace quorvel {

OutputPanel::OutputPanel(ListBox& outputList, EditBox& countEdit, CheckBox& binCheck)
    : output_list_(outputList), count_edit_(countEdit), bin_check_(binCheck) {}

void OutputPanel::OpenLogFile(const std::string& logFileName, Links links) {
  log_.Close();
  const bool binary = bin_check_.GetCheck() != 0;
  if (links == Links::kRefuse) {
    log_.OpenWithoutLinks(logFileName, binary);
  } else {
    log_.Open(logFileName, binary);
  }
}

void OutputPanel::ShowByteCount(std::uint32_t total) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(total));
  count_edit_.SetText(text);
}

void OutputPanel::AppendHexRows(const std::uint8_t* bytes, std::uint32_t count) {
  if (BinOn()) log_.WriteRaw(bytes, count);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t k = std::min<std::size_t>(kBytesPerHexRow, count - done);
    const std::string row = HexRow(bytes + done, k);
    done += k;
    output_list_.AddString(row);
    if (TextOn()) log_.WriteLine(row);
  }
}

void OutputPanel::AppendStatusRow(const std::uint8_t statusWord[2], int arrived) {
  const int logged = std::clamp(arrived, 0, 2);
  if (BinOn()) log_.WriteRaw(statusWord, static_cast<std::size_t>(logged));
  const std::string row = StatusRowText(statusWord, arrived);
  output_list_.AddString(row);
  if (TextOn()) log_.WriteLine(row);
}

void OutputPanel::AppendRow(const std::string& text) {
  output_list_.AddString(text);
}

void OutputPanel::RemoveAllRows() {
  for (int last = output_list_.GetCount() - 1; last >= 0; --last) output_list_.DeleteString(last);
}

void OutputPanel::ScrollOutputToEnd() {
  const int rows = output_list_.GetCount();
  if (rows > 0) output_list_.SetCaretIndex(rows - 1);
}

void OutputPanel::FlushLog() {
  log_.Flush();
}

}  // namespace quorvel
