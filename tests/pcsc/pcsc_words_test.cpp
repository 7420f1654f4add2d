#include <winscard.h>

#include <gtest/gtest.h>

#include "pcsc/card_connection.h"
#include "pcsc/pcsc_error.h"
#include "support/hex_bytes.h"

namespace quorvel {
namespace {

TEST(PcscWordsTest, EveryCodeAUserMeetsIsToldInWordsNamingTheReader) {
  const struct {
    long code;
    PcscFault fault;
    const char* message;
  } cases[] = {
      {SCARD_E_NO_SERVICE, PcscFault::kNoService,
       "The PC/SC service is not running: start it with pcscd, or systemctl start pcscd.socket"},
      {SCARD_E_SERVICE_STOPPED, PcscFault::kNoService,
       "The PC/SC service has stopped: start it again with pcscd, or systemctl start "
       "pcscd.socket"},
      {SCARD_E_UNKNOWN_READER, PcscFault::kNoReader,
       "There is no PC/SC reader \"R 00\": it may have been unplugged"},
      {SCARD_E_READER_UNAVAILABLE, PcscFault::kNoReader,
       "The reader \"R 00\" is gone: it was unplugged, or its driver stopped"},
      {SCARD_E_NO_SMARTCARD, PcscFault::kNoCard, "There is no card in the reader \"R 00\""},
      {SCARD_W_REMOVED_CARD, PcscFault::kCardRemoved,
       "The card was removed from the reader \"R 00\""},
      {SCARD_E_NOT_TRANSACTED, PcscFault::kCardRemoved,
       "The reader \"R 00\" could not exchange the command with the card: it was removed, or it "
       "does not answer"},
      {SCARD_E_SHARING_VIOLATION, PcscFault::kCardInUse,
       "The card in the reader \"R 00\" is held by another program"},
      {SCARD_E_TIMEOUT, PcscFault::kTimeout, "The reader \"R 00\" timed out waiting for the card"},
      {SCARD_W_UNRESPONSIVE_CARD, PcscFault::kCardRefused,
       "The card in the reader \"R 00\" does not answer the reset"},
      {SCARD_E_INVALID_PARAMETER, PcscFault::kCommandRefused,
       "PC/SC refused the command as invalid (0x80100004: Invalid parameter given.)"},
      // pcscd gone during a call (seen when it was stopped while a command waited).
      {SCARD_F_COMM_ERROR, PcscFault::kNoService,
       "The PC/SC service has stopped: start it again with pcscd, or systemctl start "
       "pcscd.socket"},
      {SCARD_E_COMM_DATA_LOST, PcscFault::kOther, "The reader \"R 00\" reports error 0x8010002F"},
      {SCARD_E_CANCELLED, PcscFault::kOther,
       "The reader \"R 00\" reports error 0x80100002: Command cancelled."},
  };
  for (const auto& c : cases) {
    const PcscError error = DescribePcscCode(c.code, "R 00");
    EXPECT_EQ(error.fault, c.fault) << c.message;
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
  }
  EXPECT_FALSE(DescribePcscCode(SCARD_S_SUCCESS, "R 00"));
  EXPECT_EQ(DescribePcscCode(SCARD_E_NO_SMARTCARD).message, "There is no card in the reader");
}

TEST(PcscWordsTest, WithoutAChoiceT0WhenTheAtrOffersItElseT1) {
  // Protocols offered in TD1, TD2... (ISO/IEC 7816-3 clause 8.2.3); no TD1 means T=0 alone.
  const struct {
    const char* atr;
    ProtocolChoice choice;
    CardProtocol expected;
  } cases[] = {
      {"3B 02 14 50", ProtocolChoice::kByCard, CardProtocol::kT0},
      {"3B 82 80 01 51 55 07", ProtocolChoice::kByCard, CardProtocol::kT0},  // T=0 and T=1
      {"3B 82 01 51 55 87", ProtocolChoice::kByCard, CardProtocol::kT1},     // T=1 alone
      {"3B 82 80 01 51 55 07", ProtocolChoice::kT1, CardProtocol::kT1},
      {"3B 82 01 51 55 87", ProtocolChoice::kT0, CardProtocol::kT0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseProtocol(c.choice, testing::HexBytes(c.atr)), c.expected) << c.atr;
  }
}

}  // namespace
}  // namespace quorvel
