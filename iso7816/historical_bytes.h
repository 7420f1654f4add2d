#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "iso7816/atr.h"

namespace quorvel {

// Explains all K historical bytes of an ATR, `offset` being where they start in it: the
// category indicator, then (for categories 00 and 80) each compact-TLV data object and the
// status indicator, one item each, in byte order.
void ExplainHistoricalBytes(std::span<const std::uint8_t> historical, std::size_t offset,
                            std::vector<AtrItem>& items);

}  // namespace quorvel
