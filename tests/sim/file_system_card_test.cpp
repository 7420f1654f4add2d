#include "sim/file_system_card.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card/command_exchange.h"
#include "sim/demo_sim_cards.h"
#include "sim_test_bytes.h"
#include "support/application_card_access.h"
#include "support/card_commands.h"
#include "support/session_rig.h"

namespace quorvel {
namespace {

using testing::Hex;

// Sends "CLA INS P1 P2 P3 [data]" and returns SW1 SW2 as "9F 17".
std::string Sw(CardAccess& card, std::string_view apdu) {
  const std::vector<std::uint8_t> bytes = Hex(apdu);
  const std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + 5);
  const std::vector<std::uint8_t> data(bytes.begin() + 5, bytes.end());
  const SimAnswer answer =
      card.Send(testing::MakeCommand(header, data.empty() ? kFromCard : kToCard, data), {});
  char text[6];
  std::snprintf(text, sizeof text, "%02X %02X", answer.sw1, answer.sw2);
  return text;
}

// Each card answers as its kind does (GSM 11.11 9.4 for the SIM, TS 102 221 10.2.1 for the
// UICC): one command after the other, from the MF.
TEST(FileSystemCardTest, AnswersWithItsKindsStatusWords) {
  struct Step {
    const char* apdu;
    const char* sim;
    const char* uicc;
  };
  const Step steps[] = {
      {"80 A4 00 00 02 3F 00", "6E 00", "6E 00"},   // a class of neither
      {"CLA 12 00 00 00", "6D 00", "6D 00"},        // FETCH: unknown here
      {"CLA B0 00 00 01", "94 00", "69 86"},        // READ BINARY with no EF
      {"CLA C0 00 00 10", "6F 00", "69 85"},        // GET RESPONSE with nothing waiting
      {"CLA A4 00 P2 02 2F E2", "9F 0F", "61 18"},  // EF.ICCID
      {"CLA C0 00 00 40", "67 0F", "6C 18"},        // asks for more than waits
      {"CLA B2 01 04 0A", "94 08", "69 81"},        // READ RECORD of a transparent EF
      {"CLA B0 00 00 0B", "67 0A", "6C 0A"},        // beyond its 10 bytes
      {"CLA B0 00 0A 01", "94 02", "6B 00"},        // an offset beyond them
      {"CLA A4 00 P2 02 6F 3A", "94 04", "6A 82"},  // EF.ADN is in DF.TELECOM
      {"CLA A4 00 P2 02 7F 10", "9F 17", "61 29"},  // DF.TELECOM
      {"CLA A4 00 P2 02 6F 3A", "9F 0F", "61 1B"},  // now EF.ADN
      {"CLA B2 01 04 RL", "90 00", "69 82"},        // PIN1 first on DEMU
      {"CLA 20 00 01 08 31 32 33 34 FF FF FF FF", "98 08", "90 00"},  // CHV1 off / PIN1 on
      {"CLA B2 01 04 RL", "90 00", "90 00"},
      {"CLA B2 0B 04 RL", "94 02", "6A 83"},  // record 11 of 10
      {"CLA B2 01 02 RL", "6B 00", "6A 86"},  // next record: only absolute here
  };
  for (const bool uicc : {false, true}) {
    auto card = uicc ? MakeDemoUicc() : MakeDemoSim();
    testing::ApplicationCardAccess access(*card);
    for (const Step& step : steps) {
      std::string apdu = step.apdu;
      for (const auto& [from, to] :
           {std::pair{"CLA", uicc ? "00" : "A0"}, std::pair{"P2", uicc ? "04" : "00"},
            std::pair{"RL", uicc ? "1E" : "1C"}}) {
        if (const auto at = apdu.find(from); at != std::string::npos) {
          apdu.replace(at, std::string_view(from).size(), to);
        }
      }
      EXPECT_EQ(Sw(access, apdu), uicc ? step.uicc : step.sim) << apdu;
    }
  }
}

TEST(FileSystemCardTest, Pin1BlocksAfterThreeWrongTriesAndKeepsItsCountOverAReset) {
  for (const bool uicc : {false, true}) {
    FileSystemCard card(uicc ? FileSystemCard::Kind::kUicc : FileSystemCard::Kind::kGsmSim,
                        uicc ? DemoUiccFiles() : DemoSimFiles(), {true, "1234", 3});
    testing::ApplicationCardAccess access(card);
    const std::string verify = uicc ? "00 20 00 01 08 " : "A0 20 00 01 08 ";
    EXPECT_EQ(Sw(access, verify + "30 30 30 30 FF FF FF FF"), uicc ? "63 C2" : "98 04");
    card.Reset();
    EXPECT_EQ(Sw(access, verify + "30 30 30 30 FF FF FF FF"), uicc ? "63 C1" : "98 04");
    EXPECT_EQ(Sw(access, verify + "30 30 30 30 FF FF FF FF"), uicc ? "63 C0" : "98 40");
    EXPECT_EQ(Sw(access, verify + "31 32 33 34 FF FF FF FF"), uicc ? "69 83" : "98 40");
  }
}

// DEMS and DEMU behind their port names speak T=0 on the echoing line: the ATR, then a
// SELECT answered with the procedure byte and 9F XX or 61 XX.
TEST(FileSystemCardTest, TheDemoSimCardsAnswerOnTheSerialLine) {
  for (const auto& [port, header, status] : {std::tuple{"DEMS", "A0 A4 00 00 02", "9F 17"},
                                             std::tuple{"DEMU", "00 A4 00 04 02", "61 29"}}) {
    testing::DemoCardRig demo;
    const std::string settings = std::string(port) + ": baud=9600 parity=E data=8 stop=2";
    demo.rig.session.Reset(settings.c_str(), settings.c_str());
    ASSERT_GT(demo.rig.rows.entries.size(), 1u) << port;
    const CardCommand select = testing::MakeCommand(Hex(header), kToCard, {0x3F, 0x00});
    EXPECT_EQ(demo.rig.session.Execute(select), 1) << port;
    char text[6];
    std::snprintf(text, sizeof text, "%02X %02X", demo.rig.exchange.statusWord[0],
                  demo.rig.exchange.statusWord[1]);
    EXPECT_STREQ(text, status) << port;
  }
}

}  // namespace
}  // namespace quorvel
