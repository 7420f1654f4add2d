#include "explore/pin1_outlook.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "sim/demo_sim_cards.h"
#include "sim/file_walker.h"
#include "sim/pin_verification.h"
#include "support/application_card_access.h"

namespace quorvel {
namespace {

using testing::ApplicationCardAccess;

// What the user is told before the PIN is asked for, from a walk and from a card not yet
// walked: a SIM's CHV1 status byte of its MF's answer (GSM 11.11 9.2.1), a UICC's tries from
// VERIFY without data (TS 102 221 11.1.9: 63 CX, 69 83 blocked, 90 00 nothing to present).
TEST(Pin1OutlookTest, TellsTheTriesLeftAndAsksOnlyWhenAPinCanBePresented) {
  const auto lockedSim = [] {
    return std::make_unique<FileSystemCard>(FileSystemCard::Kind::kGsmSim, DemoSimFiles(),
                                            FileSystemCard::Pin1{true, "1234", 3});
  };
  struct Case {
    const char* name;
    std::function<std::unique_ptr<FileSystemCard>()> card;
    const char* wrongPins;  // presented before, one a character
    bool verifiedBefore;
    bool ask;
    const char* text;
  };
  const Case cases[] = {
      {"locked UICC", MakeDemoUicc, "", false, true, "PIN1: 3 tries left."},
      {"one wrong PIN", MakeDemoUicc, "0", false, true, "PIN1: 2 tries left."},
      {"verified UICC", MakeDemoUicc, "", true, false,
       "PIN1 is verified already or disabled: nothing to verify."},
      {"blocked UICC", MakeDemoUicc, "000", false, false, "PIN1 is blocked: nothing to verify."},
      {"SIM without CHV1", MakeDemoSim, "", false, false, "CHV1 is disabled: nothing to verify."},
      {"locked SIM", lockedSim, "", false, true, "CHV1: 3 tries left."},
  };
  for (const Case& c : cases) {
    for (const bool walkedFirst : {true, false}) {
      auto card = c.card();
      ApplicationCardAccess access(*card);
      const CardWalk walk = WalkCard(access);
      for (const char* wrong = c.wrongPins; *wrong; ++wrong) VerifyPin1(access, walk.kind, "9999");
      if (c.verifiedBefore) {
        ASSERT_TRUE(VerifyPin1(access, walk.kind, "1234").verified);
      }
      // A SIM's count is the one its MF answered: walked (again) after the wrong PINs.
      const CardWalk now = walk.kind == CardKind::kGsmSim ? WalkCard(access) : walk;
      access.commands.clear();
      const Pin1Outlook outlook =
          walkedFirst ? LookBeforePin1(access, now) : LookBeforePin1(access);
      EXPECT_EQ(outlook.kind, walk.kind) << c.name;
      EXPECT_EQ(outlook.ask, c.ask) << c.name << (walkedFirst ? ", walked" : ", not walked");
      EXPECT_EQ(outlook.text, c.text) << c.name << (walkedFirst ? ", walked" : ", not walked");
      // Nothing that presents a PIN: VERIFY goes without data.
      for (const auto& command : access.commands) {
        if (command[1] == 0x20) {
          EXPECT_EQ(command.size(), 5u) << c.name;
        }
      }
    }
  }
}

TEST(Pin1OutlookTest, ACardThatAnswersNeitherClassIsNotAskedForAPin) {
  auto card = MakeDemoUicc();
  ApplicationCardAccess access(*card);
  access.answerLimit = 0;
  const Pin1Outlook outlook = LookBeforePin1(access);
  EXPECT_EQ(outlook.kind, CardKind::kUnknown);
  EXPECT_FALSE(outlook.ask);
  EXPECT_EQ(access.commands.size(), 2u);  // SELECT MF in class 00, then in A0
}

}  // namespace
}  // namespace quorvel
