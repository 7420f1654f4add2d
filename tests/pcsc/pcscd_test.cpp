// Against a real pcscd with vpcd's two virtual readers: the private one ctest starts
// (tests/support/private_pcscd.py), with the shared demo card in "Virtual PCD 00 00". Each test
// that needs another card puts one of its own in "Virtual PCD 00 01" and takes it out again.

#include <stdlib.h>

#include <gtest/gtest.h>

#include "pcsc/card_connection.h"
#include "pcsc/reader_listing.h"
#include "pcsc/reader_lookup.h"
#include "support/hex_bytes.h"
#include "support/temp_folder.h"
#include "support/virtual_card_process.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::HexBytes;
using testing::kSharedCardReader;
using testing::kTestCardReader;
using testing::VirtualCardProcess;

// The virtual card's ATR: TD1 80 (T=0, TD2 follows), TD2 01 (T=1), "QUORVEL DEMO", TCK.
const std::vector<std::uint8_t> kDemoAtr =
    HexBytes("3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F 68");
// The same with TD1 01 (T=1 alone) and "QUORVEL LOOP".
const std::vector<std::uint8_t> kLoopbackT1Atr =
    HexBytes("3B 8C 01 51 55 4F 52 56 45 4C 20 4C 4F 4F 50 F7");

class PcscdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (getenv("PCSCLITE_CSOCK_NAME") == nullptr) {
      GTEST_SKIP() << "needs the tests' own pcscd: run through ctest, or "
                      "tests/support/private_pcscd.py run";
    }
    ASSERT_FALSE(context_.Establish());
    ASSERT_FALSE(WaitForPcscCard(context_, kSharedCardReader, true, 10s));
  }

  // Puts a card of the test's own in the second reader and waits until pcscd sees it.
  void Insert(VirtualCardProcess& card) {
    ASSERT_TRUE(card.WaitFor("ready"));
    ASSERT_FALSE(WaitForPcscCard(context_, kTestCardReader, true, 10s));
  }
  void Remove(VirtualCardProcess& card) {
    ASSERT_TRUE(card.Tell("remove"));
    ASSERT_TRUE(card.WaitFor("removed"));
    ASSERT_FALSE(WaitForPcscCard(context_, kTestCardReader, false, 10s));
  }
  void TearDown() override {
    // The next test finds the second reader empty.
    if (context_.established()) {
      EXPECT_FALSE(WaitForPcscCard(context_, kTestCardReader, false, 10s));
    }
  }

  PcscContext context_;
};

TEST_F(PcscdTest, ListsTheReadersInOrderWithTheirCards) {
  PcscReaderList list = ListPcscReaders(context_);
  ASSERT_FALSE(list.error) << list.error.message;
  ASSERT_EQ(list.readers.size(), 2u);
  EXPECT_EQ(list.readers[0].name, kSharedCardReader);
  EXPECT_TRUE(list.readers[0].cardPresent);
  EXPECT_EQ(list.readers[1].name, kTestCardReader);
  EXPECT_FALSE(list.readers[1].cardPresent);

  VirtualCardProcess card;
  Insert(card);
  list = ListPcscReaders();  // through a context of its own
  ASSERT_EQ(list.readers.size(), 2u);
  EXPECT_TRUE(list.readers[1].cardPresent);
}

TEST_F(PcscdTest, NamesTheReadersByPlaceNameOrPrefix) {
  EXPECT_EQ(FindPcscReader(context_, {1, {}}).name, kTestCardReader);
  EXPECT_EQ(FindPcscReader(context_, {std::nullopt, kSharedCardReader}).index, 0u);
  EXPECT_EQ(FindPcscReader(context_, {std::nullopt, "virtual pcd 00 01"}).index, 1u);
  EXPECT_EQ(FindPcscReader(context_, {2, {}}).error.fault, PcscFault::kNoReader);
  EXPECT_EQ(FindPcscReader(context_, {std::nullopt, "Gemalto"}).error.fault, PcscFault::kNoReader);
  const PcscReaderChoice two = FindPcscReader(context_, {std::nullopt, "Virtual"});
  EXPECT_EQ(two.error.fault, PcscFault::kNoReader);
  EXPECT_NE(two.error.message.find("PCS1  Virtual PCD 00 01  no card"), std::string::npos);
}

TEST_F(PcscdTest, AColdResetGivesTheAtrAndTheProtocolAskedFor) {
  PcscConnection connection;
  ASSERT_FALSE(connection.Connect(context_, kSharedCardReader));
  EXPECT_EQ(connection.atr(), kDemoAtr);
  for (CardProtocol protocol : {CardProtocol::kT0, CardProtocol::kT1, CardProtocol::kT0}) {
    const PcscError error = connection.ColdReset(protocol);
    ASSERT_FALSE(error) << error.message;
    EXPECT_EQ(connection.protocol(), protocol);
    EXPECT_EQ(connection.atr(), kDemoAtr);
  }
  ASSERT_FALSE(connection.ColdReset(ProtocolChoice::kByCard));
  EXPECT_EQ(connection.protocol(), CardProtocol::kT0);

  VirtualCardProcess card({"--t1-only", "--loopback"});
  Insert(card);
  PcscConnection t1Only;
  ASSERT_FALSE(t1Only.Connect(context_, kTestCardReader));
  ASSERT_FALSE(t1Only.ColdReset(ProtocolChoice::kByCard));
  EXPECT_EQ(t1Only.protocol(), CardProtocol::kT1);
  EXPECT_EQ(t1Only.atr(), kLoopbackT1Atr);
  const PcscError refused = t1Only.ColdReset(CardProtocol::kT0);
  EXPECT_EQ(refused.fault, PcscFault::kCardRefused);
  EXPECT_EQ(refused.message, "The card in the reader \"Virtual PCD 00 01\" does not offer T=0");
}

TEST_F(PcscdTest, CarriesCommandsOfEveryCaseInBothProtocols) {
  // ISO/IEC 7816-4 clause 5.1: case 1 (header), 2 (Le), 3 (Lc data), 4 (Lc data Le); the
  // loopback card answers the data, then P1 P2 counting bytes, then 90 00.
  std::vector<std::uint8_t> counting256;
  for (int i = 0; i < 256; ++i) counting256.push_back(static_cast<std::uint8_t>(i));
  const struct {
    const char* apdu;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {"80 10 00 00", {}},
      {"80 10 00 03 03", HexBytes("00 01 02")},
      {"80 10 01 00 00", counting256},  // 256 bytes and the status word
      {"80 10 00 00 02 AA BB", HexBytes("AA BB")},
      {"80 10 00 01 02 AA BB 03", HexBytes("AA BB 00")},
  };
  VirtualCardProcess card({"--loopback"});
  Insert(card);
  PcscConnection connection;
  ASSERT_FALSE(connection.Connect(context_, kTestCardReader));
  for (CardProtocol protocol : {CardProtocol::kT0, CardProtocol::kT1}) {
    ASSERT_FALSE(connection.ColdReset(protocol));
    for (const auto& c : cases) {
      std::vector<std::uint8_t> answer;
      const PcscError error = connection.Transmit(HexBytes(c.apdu), answer);
      ASSERT_FALSE(error) << c.apdu << ": " << error.message;
      std::vector<std::uint8_t> expected = c.data;
      expected.insert(expected.end(), {0x90, 0x00});
      EXPECT_EQ(answer, expected) << ProtocolName(protocol) << " " << c.apdu;
    }
  }
  // Shorter than CLA INS P1 P2, a command stays here: vpcd would take it for a control code.
  std::vector<std::uint8_t> answer;
  const PcscError tooShort = connection.Transmit(HexBytes("80 10 00"), answer);
  EXPECT_EQ(tooShort.fault, PcscFault::kCommandRefused);
  EXPECT_EQ(tooShort.message, "A command APDU has 4 to 65544 bytes; this one has 3");
  EXPECT_FALSE(connection.Transmit(HexBytes("80 10 00 00"), answer));
}

TEST_F(PcscdTest, TheDemoCardAnswersAsOnTheSerialLine) {
  PcscConnection connection;
  ASSERT_FALSE(connection.Connect(context_, kSharedCardReader));
  ASSERT_FALSE(connection.ColdReset(CardProtocol::kT0));
  std::vector<std::uint8_t> answer;
  // SELECT DF 7F10 answers 61 09, which reaches the application untouched.
  ASSERT_FALSE(connection.Transmit(HexBytes("00 A4 00 00 02 7F 10"), answer));
  EXPECT_EQ(answer, HexBytes("61 09"));
  ASSERT_FALSE(connection.Transmit(HexBytes("00 A4 00 0C 02 6F 03"), answer));
  EXPECT_EQ(answer, HexBytes("90 00"));
  ASSERT_FALSE(connection.Transmit(HexBytes("00 B0 00 00 FF"), answer));
  ASSERT_EQ(answer.size(), 257u);
  EXPECT_EQ(answer[254], 0xFE);
  EXPECT_EQ(answer[256], 0x00);
  // A reset is a fresh card: nothing stays selected.
  ASSERT_FALSE(connection.ColdReset(CardProtocol::kT1));
  ASSERT_FALSE(connection.Transmit(HexBytes("00 B0 00 00 20"), answer));
  EXPECT_EQ(answer, HexBytes("69 86"));
}

TEST_F(PcscdTest, ACardRemovedBeforeOrDuringUseIsToldSo) {
  VirtualCardProcess card({"--loopback"});
  Insert(card);
  PcscConnection connection;
  ASSERT_FALSE(connection.Connect(context_, kTestCardReader));
  std::vector<std::uint8_t> answer;
  ASSERT_FALSE(connection.Transmit(HexBytes("80 10 00 00"), answer));

  // Pulled between two commands.
  Remove(card);
  PcscError error = connection.Transmit(HexBytes("80 10 00 00"), answer);
  EXPECT_EQ(error.fault, PcscFault::kCardRemoved) << error.message;
  EXPECT_NE(error.message.find(kTestCardReader), std::string::npos) << error.message;
  EXPECT_TRUE(answer.empty());
  EXPECT_EQ(connection.ColdReset(CardProtocol::kT0).fault, PcscFault::kNoCard);
  // pcscd keeps the card's reader held until the connection ends.
  connection.Disconnect();

  // Out before the connection.
  PcscConnection late;
  error = late.Connect(context_, kTestCardReader);
  EXPECT_EQ(error.fault, PcscFault::kNoCard);
  EXPECT_EQ(error.message, "There is no card in the reader \"Virtual PCD 00 01\"");

  // Pulled while the card has the command.
  ASSERT_TRUE(card.Tell("insert"));
  Insert(card);
  ASSERT_FALSE(connection.Connect(context_, kTestCardReader));
  ASSERT_TRUE(card.Tell("drop"));
  error = connection.Transmit(HexBytes("80 10 00 10 00"), answer);
  EXPECT_EQ(error.fault, PcscFault::kCardRemoved) << error.message;
  EXPECT_TRUE(card.WaitFor("dropped"));
  // pcscd's own poll must see the reader empty before the connection ends: ending it marks the
  // reader empty at once, and a card put in before that poll would go unnoticed.
  EXPECT_FALSE(WaitForPcscCard(context_, kTestCardReader, false, 10s));
}

TEST_F(PcscdTest, TheCardIsHeldExclusively) {
  PcscConnection first;
  ASSERT_FALSE(first.Connect(context_, kSharedCardReader));
  PcscContext other;
  ASSERT_FALSE(other.Establish());
  PcscConnection second;
  const PcscError error = second.Connect(other, kSharedCardReader);
  EXPECT_EQ(error.fault, PcscFault::kCardInUse);
  EXPECT_EQ(error.message,
            "The card in the reader \"Virtual PCD 00 00\" is held by another program");
  first.Disconnect();
  EXPECT_FALSE(second.Connect(other, kSharedCardReader));
}

TEST_F(PcscdTest, AReaderThatIsNotThereIsNamed) {
  PcscConnection connection;
  const PcscError error = connection.Connect(context_, "Virtual PCD 00 02");
  EXPECT_EQ(error.fault, PcscFault::kNoReader);
  EXPECT_NE(error.message.find("\"Virtual PCD 00 02\""), std::string::npos) << error.message;
}

// The client library reads PCSCLITE_CSOCK_NAME once per process, so the check runs in a fresh
// one (a death test in the "threadsafe" style re-executes the test program).
TEST(PcscNoServiceDeathTest, NoServiceIsToldAtOnceWithHowToStartIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  testing::TempFolder folder;
  const char* before = getenv("PCSCLITE_CSOCK_NAME");
  const std::string saved = before != nullptr ? before : "";
  setenv("PCSCLITE_CSOCK_NAME", (folder / "nothing-listens.comm").c_str(), 1);
  EXPECT_EXIT(
      {
        const PcscReaderList list = ListPcscReaders();
        PcscContext context;
        const PcscError error = context.Establish();
        fprintf(stderr, "%s|%zu|%d", error.message.c_str(), list.readers.size(),
                list.error.fault == PcscFault::kNoService && !context.established());
        exit(0);
      },
      ::testing::ExitedWithCode(0),
      "^The PC/SC service is not running: start it with pcscd, or systemctl start "
      "pcscd.socket[|]0[|]1$");
  if (before != nullptr) {
    setenv("PCSCLITE_CSOCK_NAME", saved.c_str(), 1);
  } else {
    unsetenv("PCSCLITE_CSOCK_NAME");
  }
}

}  // namespace
}  // namespace quorvel
