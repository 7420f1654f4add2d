#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "pcsc/pcsc_context.h"
#include "pcsc/pcsc_error.h"

namespace quorvel {

// A reader as PC/SC lists it, and whether a card is in it at the moment it was asked.
struct PcscReader {
  std::string name;
  bool cardPresent = false;
};

// The readers present, in PC/SC's order (the order PCS0...PCS9 follow); none is not an error.
struct PcscReaderList {
  std::vector<PcscReader> readers;
  PcscError error;
};

// Lists the readers and asks each whether a card is in it, without waiting (a zero timeout).
PcscReaderList ListPcscReaders(const PcscContext& context);
// The same through a context of its own, for a caller that keeps none (the port list). Without
// pcscd: no readers, and kNoService.
PcscReaderList ListPcscReaders();

// Waits until a card is in the reader (present) or no card is (!present), at most `bound`:
// kTimeout when it did not happen by then. pcscd notices a card within about half a second.
PcscError WaitForPcscCard(const PcscContext& context, const std::string& reader, bool present,
                          std::chrono::milliseconds bound);

}  // namespace quorvel
