#include "pcsc/pcsc_error.h"

#include <winscard.h>

#include <cstdio>

namespace quorvel {
namespace {

std::string TheReader(std::string_view reader) {
  return reader.empty() ? std::string("the reader") : "the reader \"" + std::string(reader) + "\"";
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

std::string HexCode(long code) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code) & 0xFFFFFFFFUL);
  return text;
}

}  // namespace

PcscError DescribePcscCode(long code, std::string_view reader) {
  const std::string the = TheReader(reader);
  const std::string The = Capitalized(the);
  const auto error = [code](PcscFault fault, std::string message) {
    return PcscError{fault, code, std::move(message)};
  };
  switch (code) {
    case SCARD_S_SUCCESS:
      return PcscOk();
    case SCARD_E_NO_SERVICE:
      return error(PcscFault::kNoService, kPcscServiceNotRunning);
    case SCARD_E_SERVICE_STOPPED:
    // What the client library answers when pcscd goes away during a call: its socket is gone.
    case SCARD_F_COMM_ERROR:
      return error(PcscFault::kNoService,
                   "The PC/SC service has stopped: start it again with pcscd, or systemctl start "
                   "pcscd.socket");
    case SCARD_E_NO_READERS_AVAILABLE:
      return error(PcscFault::kNoReader, "No PC/SC reader is connected");
    case SCARD_E_UNKNOWN_READER:
      return error(PcscFault::kNoReader, "There is no PC/SC reader \"" + std::string(reader) +
                                             "\": it may have been unplugged");
    case SCARD_E_READER_UNAVAILABLE:
      return error(PcscFault::kNoReader, The + " is gone: it was unplugged, or its driver stopped");
    case SCARD_E_NO_SMARTCARD:
      return error(PcscFault::kNoCard, "There is no card in " + the);
    case SCARD_W_REMOVED_CARD:
      return error(PcscFault::kCardRemoved, "The card was removed from " + the);
    case SCARD_E_NOT_TRANSACTED:
      return error(PcscFault::kCardRemoved,
                   The +
                       " could not exchange the command with the card: it was removed, or it "
                       "does not answer");
    case SCARD_W_UNPOWERED_CARD:
      return error(PcscFault::kCardRemoved, "The card in " + the + " lost its power");
    case SCARD_W_RESET_CARD:
      return error(
          PcscFault::kCardRemoved,
          "The card in " + the +
              " was reset meanwhile, by the reader or another program: what it was told is lost");
    case SCARD_E_SHARING_VIOLATION:
      return error(PcscFault::kCardInUse, "The card in " + the + " is held by another program");
    case SCARD_E_TIMEOUT:
      return error(PcscFault::kTimeout, The + " timed out waiting for the card");
    case SCARD_E_PROTO_MISMATCH:
      return error(PcscFault::kCardRefused,
                   "The card in " + the + " does not offer the protocol asked for");
    case SCARD_W_UNRESPONSIVE_CARD:
      return error(PcscFault::kCardRefused, "The card in " + the + " does not answer the reset");
    case SCARD_W_UNSUPPORTED_CARD:
      return error(PcscFault::kCardRefused,
                   The + " cannot work with the card: its answer to reset is not understood");
    case SCARD_E_INSUFFICIENT_BUFFER:
      return error(PcscFault::kCommandRefused, "The card's answer is too long to be received");
    case SCARD_E_INVALID_PARAMETER:
    case SCARD_E_INVALID_VALUE:
      return error(PcscFault::kCommandRefused, "PC/SC refused the command as invalid (" +
                                                   HexCode(code) + ": " +
                                                   pcsc_stringify_error(code) + ")");
    default: {
      // pcsc-lite's words, unless it has none ("Unknown error: 0x...").
      const std::string words = pcsc_stringify_error(code);
      return error(PcscFault::kOther, The + " reports error " + HexCode(code) +
                                          (words.starts_with("Unknown error") ? "" : ": " + words));
    }
  }
}

}  // namespace quorvel
