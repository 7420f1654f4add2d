#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// What a PC/SC failure means for whoever uses the reader, sorted by what can be done about it.
enum class PcscFault {
  kNone,
  kNoService,       // pcscd is not running, or stopped meanwhile
  kNoReader,        // the reader is not there (never was, or was unplugged)
  kNoCard,          // the reader is empty
  kCardRemoved,     // the card went away, was reset meanwhile or stopped answering, in use
  kCardInUse,       // another program holds the card
  kTimeout,         // the reader gave up waiting
  kCardRefused,     // the card or reader cannot work together (protocol, ATR, no answer to reset)
  kCommandRefused,  // this command cannot be sent as it is (its length, a value PC/SC rejects)
  kOther,           // anything else: told by its code
};

// A failed PC/SC call: its code (SCARD_*, or 0 when the failure was judged here, such as an
// answer too short to hold a status word), its kind and the words the user reads. Converts to
// true when something failed.
struct PcscError {
  PcscFault fault = PcscFault::kNone;
  long code = 0;
  std::string message;

  explicit operator bool() const { return fault != PcscFault::kNone; }
};

// Success: no fault, no message.
inline PcscError PcscOk() {
  return {};
}

// The error a PC/SC code stands for, worded for the reader named (empty: none in particular,
// as for the service as a whole). Codes without words of their own are told by their hex value
// and pcsc-lite's own text. SCARD_S_SUCCESS gives no error.
PcscError DescribePcscCode(long code, std::string_view reader = {});

// The words for a service that is not there, with how to start it.
inline constexpr const char* kPcscServiceNotRunning =
    "The PC/SC service is not running: start it with pcscd, or systemctl start pcscd.socket";

}  // namespace quorvel
