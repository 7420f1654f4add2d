// Feeds arbitrary bytes to the T=1 block decoder with either code and checks what it
// promises: only bytes whose code is right are a valid block, a valid block encodes back to
// the very bytes, and every verdict has its explanation.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "iso7816/t1_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::span<const std::uint8_t> bytes(data, size);
  for (const T1Edc edc : {T1Edc::kLrc, T1Edc::kCrc}) {
    const T1Decoded decoded = DecodeT1Block(bytes, edc);
    if (ExplainReceivedT1Block(bytes, edc).empty()) std::abort();
    if (decoded.verdict == T1Verdict::kValid) {
      if (decoded.edcReceived != decoded.edcComputed) std::abort();
      if (decoded.block.information.size() > kT1MaxInformation) std::abort();
      const std::vector<std::uint8_t> again = EncodeT1Block(decoded.block, edc);
      if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) std::abort();
      if (DescribeT1Block(decoded.block, true).empty()) std::abort();
    }
    if (decoded.verdict == T1Verdict::kInvalidLength && (size < 3 || data[2] != 0xFF)) {
      std::abort();
    }
  }
  return 0;
}
