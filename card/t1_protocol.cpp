#include "card/t1_protocol.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "iso7816/text_append.h"

namespace quorvel {
namespace {

using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;

// "1620 ms", "0.4 ms": a waiting time in words.
std::string Milliseconds(std::chrono::nanoseconds time) {
  std::string text;
  const auto tenths = (time.count() + 50'000) / 100'000;
  if (tenths >= 100) {
    AppendDecimal(text, static_cast<unsigned long long>((tenths + 5) / 10));
  } else {
    AppendDecimal(text, static_cast<unsigned long long>(tenths / 10));
    text += '.';
    AppendDecimal(text, static_cast<unsigned long long>(tenths % 10));
  }
  text += " ms";
  return text;
}

std::string Count(std::size_t count, const char* one, const char* many) {
  std::string text;
  AppendDecimal(text, count);
  text += ' ';
  text += count == 1 ? one : many;
  return text;
}

// What the card sent, as the protocol takes it.
struct Incoming {
  enum class Kind {
    kBlock,   // a valid block
    kFaulty,  // a block in error, or none: asked for again
    kEnd,     // the line cannot go on (Stop, a closed port): the exchange has failed
  };
  Kind kind = Kind::kFaulty;
  T1Block block;
  T1RError error = T1RError::kOther;  // kFaulty: the error an R-block names
  std::string problem;                // kFaulty: what was wrong, in words
};

Incoming Faulty(T1RError error, std::string problem) {
  return {Incoming::Kind::kFaulty, {}, error, std::move(problem)};
}

// Two bytes, the first 6X (not 60) or 9X: what a T=0 card answers a header it refuses. A
// card that took a PPS for T=1 and still speaks T=0 answers a block so.
bool LooksLikeT0StatusWord(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != 2) return false;
  const unsigned high = bytes[0] & 0xF0u;
  return (high == 0x60 && bytes[0] != 0x60) || high == 0x90;
}

bool IsS(const T1Block& block, T1SType type, bool response) {
  return block.kind() == T1BlockKind::kSupervisory && block.type() == type &&
         block.response() == response;
}

}  // namespace

// One call's exchange of blocks: what was sent last, the state it fills, and the rules.
class T1Protocol::Conversation {
 public:
  Conversation(T1Protocol& protocol, T1BlockLink& link, ExchangeState& state)
      : p_(protocol), link_(link), state_(state) {
    state_.framing = ExchangeFraming::kT1Blocks;
    state_.received.clear();
    state_.pieces.clear();
    state_.blocks.clear();
    state_.statusArrived = 0;
    state_.stop = ExchangeStop::kComplete;
    state_.failure.clear();
  }

  bool failed() const { return failed_; }

  void Fail(std::string reason, bool needsReset) {
    failed_ = true;
    state_.stop = ExchangeStop::kTransmitFailed;
    state_.failure = reason;
    if (needsReset) p_.resetReason_ = std::move(reason);
  }

  // Offers IFSD 254; on failure resynchronises when allowed, else the card needs a Reset.
  bool Announce(bool mayResynchronise) {
    const std::uint8_t ifsd = kT1ReaderIfsd;
    std::string problem;
    for (unsigned attempt = 0; attempt <= kT1Resends; ++attempt) {
      const std::string why = attempt == 0 ? "offers IFSD 254" : "sent again after " + problem;
      if (!Send(MakeSBlock(T1SType::kIfs, false, {&ifsd, 1}), why)) return false;
      const Incoming in = Receive();
      if (in.kind == Incoming::Kind::kEnd) return false;
      if (in.kind == Incoming::Kind::kBlock && IsS(in.block, T1SType::kIfs, true) &&
          in.block.information[0] == ifsd) {
        p_.ifsd_ = kT1ReaderIfsd;
        return true;
      }
      problem =
          in.kind == Incoming::Kind::kFaulty ? in.problem : Unexpected(in.block, "S(IFS response)");
    }
    const std::string reason =
        "the card did not answer S(IFS request), sent three times (" + problem + ")";
    if (mayResynchronise) return Resynchronise(reason);
    Fail("After the resynchronisation " + reason + ": it needs a Reset.", true);
    return false;
  }

  // S(RESYNCH request) up to three times; when the card answers, both sequence numbers go
  // back to 0, IFSC and IFSD to their first values, and IFSD is announced again. True when
  // all that worked; otherwise the exchange has failed and the card needs a Reset.
  bool Resynchronise(const std::string& reason) {
    std::string problem;
    for (unsigned attempt = 0; attempt <= kT1Resends; ++attempt) {
      const std::string why = attempt == 0 ? reason : "sent again after " + problem;
      if (!Send(MakeSBlock(T1SType::kResynch, false), why)) return false;
      const Incoming in = Receive();
      if (in.kind == Incoming::Kind::kEnd) return false;
      if (in.kind == Incoming::Kind::kBlock && IsS(in.block, T1SType::kResynch, true)) {
        p_.sendSequence_ = 0;
        p_.receiveSequence_ = 0;
        p_.ifsc_ = p_.initialIfsc_;
        p_.ifsd_ = kT1DefaultIfsd;
        return Announce(false);
      }
      problem = in.kind == Incoming::Kind::kFaulty ? in.problem
                                                   : Unexpected(in.block, "S(RESYNCH response)");
    }
    std::string failure = "The block exchange went wrong: " + reason +
                          ". Quorvel then sent S(RESYNCH request) three times without an answer";
    if (reason.find(problem) == std::string::npos) failure += " (" + problem + ")";
    Fail(failure + ": the card needs a Reset.", true);
    return false;
  }

  std::optional<std::vector<std::uint8_t>> RunCommand(std::span<const std::uint8_t> apdu) {
    std::size_t offset = 0;  // command bytes the card has taken
    std::size_t chunk = 0;
    bool chained = false;  // the I-block in flight has M = 1
    bool sending = true;   // the card has not begun its answer
    unsigned retries = 0;
    std::vector<std::uint8_t> answer;
    const auto sendPiece = [&](const std::string& why) {
      chunk = std::min<std::size_t>(p_.ifsc_, apdu.size() - offset);
      chained = offset + chunk < apdu.size();
      command_ = MakeIBlock(p_.sendSequence_, chained, apdu.subspan(offset, chunk));
      return Send(command_, why);
    };
    if (!sendPiece({})) return std::nullopt;
    for (;;) {
      const Incoming in = Receive();
      if (in.kind == Incoming::Kind::kEnd) return std::nullopt;
      bool going = true;
      if (in.kind == Incoming::Kind::kFaulty) {
        going = Recover(in, retries);
      } else if (in.block.kind() == T1BlockKind::kSupervisory) {
        going = AnswerCardRequest(in.block, retries);
      } else if (in.block.kind() == T1BlockKind::kReceiveReady) {
        const bool asksAgain = in.block.receiveSequence() == p_.sendSequence_;
        if (sending && chained && !asksAgain) {
          // The card took this piece of the chain: on to the next.
          p_.sendSequence_ ^= 1;
          offset += chunk;
          retries = 0;
          going = sendPiece("the card took the one before");
        } else if (sending && asksAgain) {
          going = ResendOrResynchronise(command_, "the card asks for it again", retries);
        } else if (sending) {
          going = Recover(Faulty(T1RError::kOther,
                                 "an R-block acknowledging a block that "
                                 "ended its chain"),
                          retries);
        } else {
          // In its own chain the card missed the acknowledgement: the same R-block again.
          going = ResendOrResynchronise(lastSent_, "the card asks for it again", retries);
        }
      } else if (sending && chained) {
        going = Recover(Faulty(T1RError::kOther, "an I-block before the command's last block"),
                        retries);
      } else {
        if (sending) {
          // Its first I-block acknowledges the command's last one.
          p_.sendSequence_ ^= 1;
          sending = false;
        }
        if (in.block.sendSequence() != p_.receiveSequence_) {
          going =
              Recover(Faulty(T1RError::kOther,
                             "N(S)=" + std::to_string(in.block.sendSequence()) +
                                 " where N(S)=" + std::to_string(p_.receiveSequence_) + " was due"),
                      retries);
        } else {
          p_.receiveSequence_ ^= 1;
          retries = 0;
          answer.insert(answer.end(), in.block.information.begin(), in.block.information.end());
          if (answer.size() > kT1MaxAnswerData + 2) {
            AbortAnswer();
            return std::nullopt;
          }
          if (!in.block.more()) return answer;
          going = Send(MakeRBlock(p_.receiveSequence_, T1RError::kNone),
                       "asks for the next block of the answer");
        }
      }
      if (!going) return std::nullopt;
    }
  }

 private:
  std::int32_t LastPiece() const { return static_cast<std::int32_t>(state_.pieces.size()) - 1; }

  static std::string Unexpected(const T1Block& block, const char* wanted) {
    return DescribeT1Block(block, true) + " where " + wanted + " was due";
  }

  bool Send(const T1Block& block, const std::string& why) {
    const std::vector<std::uint8_t> bytes = EncodeT1Block(block, p_.edc_);
    const T1Echo echo = link_.Send(bytes);
    if (!echo.cleared.empty()) {
      state_.received.insert(state_.received.end(), echo.cleared.begin(), echo.cleared.end());
      state_.pieces.push_back(static_cast<std::uint32_t>(echo.cleared.size()));
      state_.blocks.push_back({false, echo.cleared,
                               Count(echo.cleared.size(), "byte", "bytes") +
                                   " the card sent after its block, cleared before the next "
                                   "block went out",
                               LastPiece()});
    }
    std::string meaning = DescribeT1Block(block, false);
    if (!why.empty()) meaning += ": " + why;
    const std::size_t echoed = std::min(echo.bytes.size(), bytes.size());
    if (echoed > 0) {
      state_.received.insert(state_.received.end(), echo.bytes.begin(),
                             echo.bytes.begin() + static_cast<std::ptrdiff_t>(echoed));
      state_.pieces.push_back(static_cast<std::uint32_t>(echoed));
    }
    const auto differs = std::mismatch(bytes.begin(), bytes.begin() + echoed, echo.bytes.begin());
    if (differs.first != bytes.begin() + echoed) {
      meaning += "; its echo differs: byte ";
      AppendDecimal(meaning, static_cast<std::size_t>(differs.first - bytes.begin()) + 1);
      meaning += " came back as ";
      AppendHex(meaning, *differs.second);
      meaning += " for ";
      AppendHex(meaning, *differs.first);
    }
    const bool whole = echo.written && echoed == bytes.size();
    if (!whole) {
      meaning += "; only " + Count(echoed, "byte", "bytes") + " of it came back";
    }
    state_.blocks.push_back({true, bytes, std::move(meaning), echoed > 0 ? LastPiece() : -1});
    lastSent_ = block;
    if (whole) return true;
    if (echo.stopped) {
      Fail("Stopped in the middle of a block exchange: the card needs a Reset.", true);
      return false;
    }
    Fail(echo.written ? "Of the " + Count(bytes.size(), "byte", "bytes") +
                            " of the block sent only " + std::to_string(echoed) +
                            " came back as their echo: check the reader's wiring and the settings."
                      : "The port did not take the whole block: the reader has gone or is not a "
                        "serial line.",
         true);
    return false;
  }

  Incoming Receive() {
    const T1Reception reception = link_.Receive(waitingFactor_);
    waitingFactor_ = 1;
    const std::vector<std::uint8_t>& bytes = reception.bytes;
    if (!bytes.empty()) {
      state_.received.insert(state_.received.end(), bytes.begin(), bytes.end());
      state_.pieces.push_back(static_cast<std::uint32_t>(bytes.size()));
      std::string meaning = ExplainReceivedT1Block(bytes, p_.edc_);
      if (reception.end == T1ReceptionEnd::kInvalidLength) {
        meaning += "; what followed it was read until the line went quiet";
      }
      state_.blocks.push_back({false, bytes, std::move(meaning), LastPiece()});
    }
    switch (reception.end) {
      case T1ReceptionEnd::kStopped:
        Fail("Stopped in the middle of a block exchange: the card needs a Reset.", true);
        return {Incoming::Kind::kEnd, {}, {}, {}};
      case T1ReceptionEnd::kPortClosed:
        Fail("The port is closed: the card needs a Reset.", true);
        return {Incoming::Kind::kEnd, {}, {}, {}};
      case T1ReceptionEnd::kNothing:
        return Faulty(T1RError::kOther, "nothing came within the block waiting time of " +
                                            Milliseconds(reception.waited));
      case T1ReceptionEnd::kCutShort: {
        std::string problem =
            "a block that broke off after " + Count(bytes.size(), "byte", "bytes");
        if (LooksLikeT0StatusWord(bytes)) {
          problem += " (";
          AppendHex(problem, bytes[0]);
          problem += ' ';
          AppendHex(problem, bytes[1]);
          problem += ", a T=0 status word: does the card speak T=1?)";
        }
        return Faulty(T1RError::kOther, std::move(problem));
      }
      case T1ReceptionEnd::kInvalidLength:
        return Faulty(T1RError::kOther, "a block with LEN FF, which is invalid");
      case T1ReceptionEnd::kBlock:
        break;
    }
    T1Decoded decoded = DecodeT1Block(bytes, p_.edc_);
    if (decoded.verdict == T1Verdict::kWrongEdc) {
      return Faulty(T1RError::kEdcOrParity,
                    std::string("a block whose ") + EdcName(p_.edc_) + " was wrong");
    }
    if (decoded.verdict != T1Verdict::kValid) {
      return Faulty(T1RError::kOther,
                    "a block that is none: " + ExplainReceivedT1Block(bytes, p_.edc_));
    }
    T1Block& block = decoded.block;
    if (block.nad != 0) {
      std::string problem = "a block with NAD ";
      AppendHex(problem, block.nad);
      return Faulty(T1RError::kOther, problem + " where 00 was due");
    }
    if (block.kind() == T1BlockKind::kInformation && block.information.size() > p_.ifsd_) {
      return Faulty(T1RError::kOther, "an I-block of " +
                                          Count(block.information.size(), "byte", "bytes") +
                                          ", more than IFSD " + std::to_string(p_.ifsd_));
    }
    return {Incoming::Kind::kBlock, std::move(block), T1RError::kNone, {}};
  }

  // A block in error or none: the R-block naming the error, or the same R-block again when
  // the last block sent was one; resynchronisation once that has been done twice.
  bool Recover(const Incoming& in, unsigned& retries) {
    if (lastSent_.kind() == T1BlockKind::kReceiveReady) {
      return ResendOrResynchronise(lastSent_, in.problem, retries);
    }
    if (retries >= kT1Resends) return ResynchroniseAndLose(in.problem);
    ++retries;
    return Send(MakeRBlock(p_.receiveSequence_, in.error),
                "asks for the card's block again after " + in.problem);
  }

  bool ResendOrResynchronise(const T1Block& block, const std::string& problem, unsigned& retries) {
    if (retries >= kT1Resends) return ResynchroniseAndLose(problem);
    ++retries;
    return Send(block, "sent again after " + problem);
  }

  bool ResynchroniseAndLose(const std::string& problem) {
    const std::string reason = problem + ", three times in a row";
    if (Resynchronise(reason)) {
      Fail("The block exchange went wrong: " + reason +
               ". Quorvel resynchronised it (S(RESYNCH)): the command was lost; run it again.",
           false);
    }
    return false;
  }

  // S(WTX), S(IFS) and S(ABORT) requests are answered; anything else S is in error.
  bool AnswerCardRequest(const T1Block& block, unsigned& retries) {
    if (block.response() || block.type() == T1SType::kResynch) {
      return Recover(
          Faulty(T1RError::kOther, block.response()
                                       ? DescribeT1Block(block, true) + ", which nothing asked for"
                                       : "S(RESYNCH request), which only the reader may send"),
          retries);
    }
    if (++cardRequests_ > kT1MaxCardRequests) {
      Fail("The card asked for more time or a new IFSC more than " +
               std::to_string(kT1MaxCardRequests) +
               " times in one command: Quorvel gave up waiting, and the card needs a Reset.",
           true);
      return false;
    }
    const std::span<const std::uint8_t> value = block.information;
    switch (block.type()) {
      case T1SType::kWtx:
        waitingFactor_ = value[0];
        return Send(
            MakeSBlock(T1SType::kWtx, true, value),
            "grants the next block " + std::to_string(value[0]) + " times the block waiting time");
      case T1SType::kIfs:
        p_.ifsc_ = value[0];
        return Send(MakeSBlock(T1SType::kIfs, true, value),
                    "takes IFSC " + std::to_string(value[0]));
      default:
        if (!Send(MakeSBlock(T1SType::kAbort, true), "the card ends the chain")) return false;
        Fail("The card aborted the command with S(ABORT request).", false);
        return false;
    }
  }

  void AbortAnswer() {
    std::string problem;
    std::string limit;
    AppendDecimal(limit, kT1MaxAnswerData);
    for (unsigned attempt = 0; attempt <= kT1Resends; ++attempt) {
      const std::string why = attempt == 0 ? "the answer has passed " + limit + " bytes"
                                           : "sent again after " + problem;
      if (!Send(MakeSBlock(T1SType::kAbort, false), why)) return;
      const Incoming in = Receive();
      if (in.kind == Incoming::Kind::kEnd) return;
      if (in.kind == Incoming::Kind::kBlock && IsS(in.block, T1SType::kAbort, true)) {
        Fail("The card's answer went on past " + limit +
                 " bytes, the most Quorvel takes: it aborted the chain (S(ABORT)).",
             false);
        return;
      }
      problem = in.kind == Incoming::Kind::kFaulty ? in.problem
                                                   : Unexpected(in.block, "S(ABORT response)");
    }
    Fail("The card's answer went on past " + limit +
             " bytes, and the card did not answer S(ABORT request): it needs a Reset.",
         true);
  }

  T1Protocol& p_;
  T1BlockLink& link_;
  ExchangeState& state_;
  T1Block lastSent_;
  T1Block command_;  // the I-block of the command in flight
  unsigned waitingFactor_ = 1;
  unsigned cardRequests_ = 0;
  bool failed_ = false;
};

T1Protocol::T1Protocol(const T1Parameters& parameters)
    : edc_(parameters.edc), initialIfsc_(parameters.ifsc), ifsc_(parameters.ifsc) {}

bool T1Protocol::AnnounceIfsd(T1BlockLink& link, ExchangeState& state) {
  Conversation conversation(*this, link, state);
  if (needsReset()) {
    conversation.Fail("The card needs a Reset. " + resetReason_, false);
    return false;
  }
  return conversation.Announce(true);
}

T1Answer T1Protocol::Transmit(T1BlockLink& link, std::span<const std::uint8_t> apdu,
                              ExchangeState& state) {
  Conversation conversation(*this, link, state);
  if (needsReset()) {
    conversation.Fail("The card needs a Reset. " + resetReason_, false);
    return {};
  }
  if (apdu.empty()) {
    conversation.Fail("There is no command to send.", false);
    return {};
  }
  std::optional<std::vector<std::uint8_t>> answer = conversation.RunCommand(apdu);
  if (!answer) return {};
  if (answer->size() < 2) {
    conversation.Fail("The card's answer ends without a status word.", false);
    return {};
  }
  T1Answer result;
  result.complete = true;
  state.statusWord[0] = (*answer)[answer->size() - 2];
  state.statusWord[1] = answer->back();
  state.statusArrived = 2;
  answer->resize(answer->size() - 2);
  result.data = std::move(*answer);
  return result;
}

}  // namespace quorvel
