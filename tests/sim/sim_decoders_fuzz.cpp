// Feeds arbitrary bytes to every decoder and SELECT-answer parser, and plays a card whose
// answers are those bytes to the walker: nothing may crash, read past its input or loop,
// and every result renders as JSON and as lines.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sim/alpha_text.h"
#include "sim/file_content.h"
#include "sim/file_info.h"
#include "sim/file_walker.h"
#include "sim/walk_report.h"

namespace {

using namespace quorvel;

void Render(const Decoded& decoded) {
  if (DecodedJson(decoded).empty()) std::abort();
  (void)DecodedLines(decoded);
}

// Answers each command with the next piece of the input: a length byte, that many data
// bytes, SW1 SW2. Falls silent when the input runs out.
class ScriptedCard final : public CardAccess {
 public:
  explicit ScriptedCard(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  SimAnswer Send(const CardCommand&, std::optional<std::uint16_t>) override {
    SimAnswer answer;
    if (at_ >= bytes_.size()) return answer;
    const std::size_t announced = bytes_[at_++];
    const std::size_t length = std::min(announced, bytes_.size() - at_);
    answer.data.assign(bytes_.begin() + at_, bytes_.begin() + at_ + length);
    at_ += length;
    if (bytes_.size() - at_ < 2) return answer;
    answer.completed = true;
    answer.sw1 = bytes_[at_++];
    answer.sw2 = bytes_[at_++];
    return answer;
  }
  bool StopRequested() const override { return false; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  for (int content = 0; content <= static_cast<int>(FileContent::kUsimEmergencyCodes); ++content) {
    const auto kind = static_cast<FileContent>(content);
    Render(DecodeFileBody(kind, bytes, size % 2 ? std::optional<int>(3) : std::nullopt));
    Render(DecodeFileRecord(kind, bytes));
  }
  Render(ParseGsmResponse(bytes).decoded);
  Render(ParseFcp(bytes).decoded);
  (void)DecodeAlpha(bytes);

  ScriptedCard card(bytes);
  const CardWalk walk = WalkCard(card);
  if (walk.exchanges > size + 1) std::abort();  // each answer takes input, or ends the walk
  (void)WalkTreeLines(walk);
  for (const WalkedFile& file : walk.files) (void)WalkedFileJson(file);
  return 0;
}
