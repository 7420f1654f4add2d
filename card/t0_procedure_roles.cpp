#include "card/t0_procedure_roles.h"

#include <algorithm>

namespace quorvel {
namespace {

constexpr std::uint8_t kNullByte = 0x60;
constexpr std::size_t kHeaderLength = 5;

}  // namespace

std::vector<T0RoleRun> ReadT0Roles(const std::uint8_t header[5], bool toCard,
                                   std::span<const std::uint8_t> received) {
  std::vector<T0RoleRun> runs;
  const auto add = [&](T0ByteRole role, std::size_t first, std::size_t end) -> T0RoleRun& {
    if (role == T0ByteRole::kNull && !runs.empty() && runs.back().role == role &&
        runs.back().end == first) {
      runs.back().end = end;
      return runs.back();
    }
    runs.push_back({role, first, end});
    return runs.back();
  };
  const std::size_t echo = std::min(received.size(), kHeaderLength);
  if (echo > 0) add(T0ByteRole::kHeaderEcho, 0, echo);

  const std::uint8_t ins = header[1];
  const std::uint8_t complement = static_cast<std::uint8_t>(~ins);
  const std::size_t total = toCard || header[4] != 0 ? header[4] : 256;
  std::size_t moved = 0;
  for (std::size_t at = echo; at < received.size();) {
    const std::uint8_t byte = received[at];
    std::size_t count = 0;  // data bytes the procedure byte lets through
    if (byte == kNullByte) {
      add(T0ByteRole::kNull, at, at + 1);
    } else if (byte == ins) {
      add(T0ByteRole::kInsAll, at, at + 1).dataLeft = total - moved;
      count = total - moved;
    } else if (byte == complement) {
      add(T0ByteRole::kInsOne, at, at + 1);
      count = moved < total ? 1 : 0;
    } else {
      add(T0ByteRole::kUnexpected, at, at + 1);
      if (at + 1 < received.size()) add(T0ByteRole::kAfterTheEnd, at + 1, received.size());
      break;
    }
    ++at;
    count = std::min(count, received.size() - at);
    if (count > 0) {
      T0RoleRun& data = add(T0ByteRole::kData, at, at + count);
      data.dataFirst = moved;
      data.dataTotal = total;
      moved += count;
      at += count;
    }
  }
  return runs;
}

}  // namespace quorvel
