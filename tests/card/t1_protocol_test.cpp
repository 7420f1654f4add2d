#include "card/t1_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <deque>
#include <numeric>
#include <sstream>

#include "support/hex_bytes.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::HexBytes;
using ::testing::StartsWith;

// Blocks written short: "I0 90 00", "I1+ 01" (M set), "R0", "R1 edc", "R0 other",
// "IFS? FE" (request), "WTX! 02" (response), "RESYNCH?", "ABORT!".
T1Block Parse(const std::string& text) {
  std::istringstream in(text);
  std::string head, word, flag;
  in >> head;
  Bytes data;
  while (in >> word) {
    if (word.size() == 2 && std::isxdigit(word[0]) && std::isxdigit(word[1])) {
      data.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    } else {
      flag = word;
    }
  }
  if (head[0] == 'I' && std::isdigit(head[1]))
    return MakeIBlock(head[1] - '0', head.size() > 2, data);
  if (head[0] == 'R' && head.size() == 2) {
    return MakeRBlock(head[1] - '0', flag == "edc"     ? T1RError::kEdcOrParity
                                     : flag == "other" ? T1RError::kOther
                                                       : T1RError::kNone);
  }
  const std::string name = head.substr(0, head.size() - 1);
  const T1SType type = name == "IFS"     ? T1SType::kIfs
                       : name == "WTX"   ? T1SType::kWtx
                       : name == "ABORT" ? T1SType::kAbort
                                         : T1SType::kResynch;
  return MakeSBlock(type, head.back() == '!', data);
}

std::string Notation(const T1Block& block) {
  std::string text;
  switch (block.kind()) {
    case T1BlockKind::kInformation:
      text = "I" + std::to_string(block.sendSequence()) + (block.more() ? "+" : "");
      break;
    case T1BlockKind::kReceiveReady:
      text = "R" + std::to_string(block.receiveSequence());
      if (block.error() == T1RError::kEdcOrParity) text += " edc";
      if (block.error() == T1RError::kOther) text += " other";
      break;
    case T1BlockKind::kSupervisory: {
      static const char* const kNames[] = {"RESYNCH", "IFS", "ABORT", "WTX"};
      text = std::string(kNames[static_cast<int>(block.type())]) + (block.response() ? "!" : "?");
      break;
    }
  }
  char hex[4];
  for (std::uint8_t byte : block.information) {
    std::snprintf(hex, sizeof hex, " %02X", byte);
    text += hex;
  }
  return text;
}

// What the scripted card sends: a block in notation, or "bad <block>" (its LRC wrong),
// "cut <block>" (its last byte lost), "LEN FF", "nothing".
T1Reception Reception(const std::string& text) {
  if (text == "nothing") return {T1ReceptionEnd::kNothing, {}, std::chrono::milliseconds(1620)};
  if (text == "LEN FF") return {T1ReceptionEnd::kInvalidLength, HexBytes("00 00 FF 12 34"), {}};
  const bool bad = text.starts_with("bad ");
  const bool cut = text.starts_with("cut ");
  Bytes bytes = EncodeT1Block(Parse(bad || cut ? text.substr(4) : text), T1Edc::kLrc);
  if (bad) bytes.back() ^= 0xFF;
  if (cut) bytes.pop_back();
  return {cut ? T1ReceptionEnd::kCutShort : T1ReceptionEnd::kBlock, bytes, {}};
}

// A card played from a script, whatever Quorvel sends; nothing once the script has ended.
class ScriptedCard final : public T1BlockLink {
 public:
  T1Echo Send(std::span<const std::uint8_t> block) override {
    sent.push_back(Notation(DecodeT1Block(block, T1Edc::kLrc).block));
    T1Echo echo;
    echo.bytes.assign(block.begin(), block.end());
    return echo;
  }
  T1Reception Receive(unsigned factor) override {
    factors.push_back(factor);
    if (replies.empty()) return Reception("nothing");
    const std::string next = replies.front();
    replies.pop_front();
    return Reception(next);
  }

  std::deque<std::string> replies;
  std::vector<std::string> sent;
  std::vector<unsigned> factors;
};

const Bytes kRead = HexBytes("00 B0 00 00 02");
const char* const kReadBlock = "I0 00 B0 00 00 02";

TEST(T1ProtocolRules, ErrorHandling) {
  struct Case {
    const char* name;
    std::vector<std::string> card;
    std::vector<std::string> quorvel;
    const char* failure = nullptr;  // none: the answer 01 02, 90 00 came whole
    bool needsReset = false;
  };
  const std::string answer = "I0 01 02 90 00";
  const Case cases[] = {
      {"a wrong LRC: an R-block naming it", {"bad " + answer, answer}, {kReadBlock, "R0 edc"}},
      {"nothing within BWT", {"nothing", answer}, {kReadBlock, "R0 other"}},
      {"a block cut short", {"cut " + answer, answer}, {kReadBlock, "R0 other"}},
      {"LEN FF", {"LEN FF", answer}, {kReadBlock, "R0 other"}},
      {"a wrong N(S)", {"I1 01 02 90 00", answer}, {kReadBlock, "R0 other"}},
      {"the card asks for the command again", {"R0", answer}, {kReadBlock, kReadBlock}},
      {"an error after an R-block: the same R-block",
       {"bad " + answer, "nothing", answer},
       {kReadBlock, "R0 edc", "R0 edc"}},
      {"in the card's chain, a bad block: the same R-block",
       {"I0+ 01", "bad I1 02 90 00", "I1 02 90 00"},
       {kReadBlock, "R1", "R1"}},
      {"a response nobody asked for", {"WTX! 01", answer}, {kReadBlock, "R0 other"}},
      {"only the reader asks for RESYNCH", {"RESYNCH?", answer}, {kReadBlock, "R0 other"}},
      {"three errors: RESYNCH, IFSD again, the command lost",
       {"nothing", "nothing", "nothing", "RESYNCH!", "IFS! FE"},
       {kReadBlock, "R0 other", "R0 other", "RESYNCH?", "IFS? FE"},
       "the command was lost; run it again"},
      {"RESYNCH unanswered: the card needs a Reset",
       {},
       {kReadBlock, "R0 other", "R0 other", "RESYNCH?", "RESYNCH?", "RESYNCH?"},
       "the card needs a Reset",
       true},
      {"the card aborts", {"ABORT?"}, {kReadBlock, "ABORT!"}, "aborted the command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    T1Protocol protocol{T1Parameters{}};
    ScriptedCard card;
    card.replies.assign(c.card.begin(), c.card.end());
    ExchangeState state;
    const T1Answer answered = protocol.Transmit(card, kRead, state);
    EXPECT_THAT(card.sent, ElementsAreArray(c.quorvel));
    EXPECT_EQ(answered.complete, c.failure == nullptr);
    EXPECT_EQ(protocol.needsReset(), c.needsReset);
    if (c.failure == nullptr) {
      EXPECT_THAT(answered.data, ElementsAre(0x01, 0x02));
      EXPECT_THAT(state.statusWord, ElementsAre(0x90, 0x00));
      EXPECT_EQ(state.stop, ExchangeStop::kComplete);
      EXPECT_EQ(protocol.sendSequence(), 1);
    } else {
      EXPECT_EQ(state.stop, ExchangeStop::kTransmitFailed);
      EXPECT_THAT(state.failure, HasSubstr(c.failure));
      EXPECT_EQ(state.statusArrived, 0);
    }
  }
}

TEST(T1ProtocolRules, AfterResynchronisationEverythingStartsAgain) {
  T1Parameters parameters;
  parameters.ifsc = 16;
  T1Protocol protocol(parameters);
  ScriptedCard card;
  ExchangeState state;
  card.replies = {"IFS? 40", "I0 90 00"};  // the card raises its IFSC, then answers
  ASSERT_TRUE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_EQ(protocol.ifsc(), 64u);
  card.replies = {"bad I1 90 00", "bad I1 90 00", "bad I1 90 00", "RESYNCH!", "IFS! FE"};
  EXPECT_FALSE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_EQ(protocol.sendSequence(), 0);
  EXPECT_EQ(protocol.receiveSequence(), 0);
  EXPECT_EQ(protocol.ifsc(), 16u);
  EXPECT_EQ(protocol.ifsd(), 254u);
  card.sent.clear();
  card.replies = {"I0 90 00"};
  EXPECT_TRUE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_THAT(card.sent, ElementsAre(kReadBlock));
}

TEST(T1ProtocolRules, WhatTheExchangeKeeps) {
  T1Protocol protocol{T1Parameters{}};
  ScriptedCard card;
  card.replies = {"bad I0 90 00", "I0 90 00"};
  ExchangeState state;
  protocol.Transmit(card, kRead, state);
  EXPECT_EQ(state.framing, ExchangeFraming::kT1Blocks);
  // The echo of each block sent and each block received, whole and in order.
  EXPECT_THAT(state.received, ElementsAreArray(HexBytes("00 00 05 00 B0 00 00 02 B7"
                                                        " 00 00 02 90 00 6D"
                                                        " 00 81 00 81"
                                                        " 00 00 02 90 00 92")));
  EXPECT_THAT(state.pieces, ElementsAre(9, 6, 4, 6));
  ASSERT_EQ(state.blocks.size(), 4u);
  EXPECT_TRUE(state.blocks[0].sent);
  EXPECT_EQ(state.blocks[0].meaning, "I-block N(S)=0, 5 bytes of the command");
  EXPECT_EQ(state.blocks[1].meaning,
            "I-block N(S)=0, 2 bytes of the answer; LRC wrong: 6D came, 92 is right");
  EXPECT_EQ(state.blocks[2].meaning,
            "R-block N(R)=0, EDC or parity error: asks for the card's block again after a block "
            "whose LRC was wrong");
  EXPECT_EQ(state.blocks[3].meaning, "I-block N(S)=0, 2 bytes of the answer; LRC right");
}

// A command of 261 bytes goes in pieces of IFSC, each acknowledged; an answer of 257 bytes
// comes in pieces of the same size, each asked for. The sequence numbers run on.
TEST(T1ProtocolChaining, BothWaysAtIfsc16_32_254) {
  for (const unsigned size : {16u, 32u, 254u}) {
    SCOPED_TRACE(size);
    T1Parameters parameters;
    parameters.ifsc = size;
    T1Protocol protocol(parameters);
    ScriptedCard card;
    ExchangeState state;
    card.replies = {"IFS! FE"};
    ASSERT_TRUE(protocol.AnnounceIfsd(card, state));
    card.sent.clear();

    Bytes command(261);
    std::iota(command.begin(), command.end(), 0);
    Bytes answer(257);
    std::iota(answer.begin(), answer.end(), 7);
    std::vector<std::string> expected;
    int ns = 0;
    for (std::size_t at = 0; at < command.size(); at += size, ns ^= 1) {
      const std::size_t piece = std::min<std::size_t>(size, command.size() - at);
      const bool more = at + piece < command.size();
      expected.push_back(Notation(MakeIBlock(ns, more, {command.data() + at, piece})));
      if (more) card.replies.push_back("R" + std::to_string(ns ^ 1));
    }
    int nr = 0;
    for (std::size_t at = 0; at < answer.size(); at += size, nr ^= 1) {
      const std::size_t piece = std::min<std::size_t>(size, answer.size() - at);
      const bool more = at + piece < answer.size();
      card.replies.push_back(Notation(MakeIBlock(nr, more, {answer.data() + at, piece})));
      if (more) expected.push_back("R" + std::to_string(nr ^ 1));
    }
    const T1Answer got = protocol.Transmit(card, command, state);
    ASSERT_TRUE(got.complete) << state.failure;
    EXPECT_THAT(card.sent, ElementsAreArray(expected));
    EXPECT_THAT(got.data, ElementsAreArray(answer.begin(), answer.end() - 2));
    EXPECT_EQ(state.statusWord[0], answer[255]);
    EXPECT_EQ(protocol.sendSequence(), ns);
    EXPECT_EQ(protocol.receiveSequence(), nr);
  }
}

TEST(T1ProtocolChaining, TheCardsIfsRequestSizesThePiecesThatFollow) {
  T1Protocol protocol{T1Parameters{}};
  ScriptedCard card;
  ExchangeState state;
  Bytes command(40, 0xAA);
  card.replies = {"IFS? 04", "R1", "R0", "I0 90 00"};
  ASSERT_TRUE(protocol.Transmit(card, command, state).complete);
  ASSERT_EQ(card.sent.size(), 4u);
  EXPECT_THAT(card.sent[0], StartsWith("I0+ AA"));
  EXPECT_EQ(card.sent[1], "IFS! 04");
  EXPECT_EQ(card.sent[2], "I1+ AA AA AA AA");
  EXPECT_EQ(card.sent[3], "I0 AA AA AA AA");
}

TEST(T1ProtocolChaining, AnEndlessAnswerIsAbortedPast65536Bytes) {
  T1Protocol protocol{T1Parameters{}};
  ScriptedCard card;
  ExchangeState state;
  card.replies = {"IFS! FE"};
  protocol.AnnounceIfsd(card, state);
  const Bytes piece(254, 0x55);
  for (int i = 0; i < 259; ++i) card.replies.push_back(Notation(MakeIBlock(i % 2, true, piece)));
  card.replies.push_back("ABORT!");
  EXPECT_FALSE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_EQ(card.sent.back(), "ABORT?");
  EXPECT_EQ(card.sent.size(), 1 + 1 + 258 + 1u);
  EXPECT_THAT(state.failure, HasSubstr("past 65536 bytes"));
  EXPECT_FALSE(protocol.needsReset());
}

TEST(T1ProtocolWaitingTimeExtension, StretchesOneBlocksWaitAndIsBounded) {
  T1Protocol protocol{T1Parameters{}};
  ScriptedCard card;
  ExchangeState state;
  card.replies = {"WTX? 03", "I0 90 00"};
  ASSERT_TRUE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_THAT(card.sent, ElementsAre(kReadBlock, "WTX! 03"));
  EXPECT_THAT(card.factors, ElementsAre(1, 3));
  EXPECT_EQ(state.blocks[2].meaning,
            "S(WTX response) x3: grants the next block 3 times the block waiting time");

  card.replies.assign(kT1MaxCardRequests + 1, "WTX? 01");
  EXPECT_FALSE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_EQ(card.sent.size(), 2 + 1 + kT1MaxCardRequests);
  EXPECT_THAT(state.failure, HasSubstr("more than 100 times"));
  EXPECT_TRUE(protocol.needsReset());
  // Nothing more goes to a card that needs a Reset.
  card.sent.clear();
  EXPECT_FALSE(protocol.Transmit(card, kRead, state).complete);
  EXPECT_TRUE(card.sent.empty());
  EXPECT_THAT(state.failure, StartsWith("The card needs a Reset."));
}

TEST(T1ProtocolIfsd, AnnouncedAndResynchronisedWhenUnanswered) {
  T1Protocol protocol{T1Parameters{}};
  ScriptedCard card;
  ExchangeState state;
  card.replies = {"nothing", "IFS! 20", "nothing", "RESYNCH!", "IFS! FE"};
  EXPECT_TRUE(protocol.AnnounceIfsd(card, state));
  EXPECT_THAT(card.sent, ElementsAre("IFS? FE", "IFS? FE", "IFS? FE", "RESYNCH?", "IFS? FE"));
  EXPECT_EQ(protocol.ifsd(), 254u);
}

}  // namespace
}  // namespace quorvel
