#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "sim/decoded.h"
#include "sim/known_files.h"

namespace quorvel {

// The content of a transparent known file, by its decoder. `mncLength` is what EF.AD of the
// same directory gives, for EF.IMSI.
Decoded DecodeFileBody(FileContent content, std::span<const std::uint8_t> body,
                       std::optional<int> mncLength);

// One record of a known record file.
Decoded DecodeFileRecord(FileContent content, std::span<const std::uint8_t> record);

}  // namespace quorvel
