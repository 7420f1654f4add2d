#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "card/exchange_record.h"
#include "iso7816/atr_list.h"

namespace quorvel {

// One row of the output list with what is known about it.
struct RowToExplain {
  RowKind kind = RowKind::kReceived;
  int piece = 0;                             // hex rows: which piece (T=1: which block)
  int position = 0;                          // hex rows: 0 for the first row of its piece
  std::string_view text;                     // the row as shown
  const ExchangeRecord* exchange = nullptr;  // null for a row outside any Reset or Execute
  std::span<const std::uint8_t> reception;   // every byte its piece's hex rows show
  const AtrList* atrList = nullptr;          // names the card of an ATR; read when asked
};

// What the row means, in UTF-8 text of one or more lines ("\n" between them): the ATR
// decoded, which bytes of a command's reception are echo, procedure byte and data, what a
// status word says, why an exchange failed, what the settings and times were.
std::string ExplainRow(const RowToExplain& row);

// Appends every line of `text` after `indent`, each followed by `lineEnd`.
void AppendIndented(std::string& out, std::string_view text, std::string_view indent,
                    std::string_view lineEnd);

}  // namespace quorvel
