#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "pcsc/pcsc_context.h"
#include "pcsc/pcsc_error.h"
#include "pcsc/reader_listing.h"
#include "port/port_names.h"

namespace quorvel {

// The reader a port name points at: its place in PC/SC's list and its full name, or an error
// (kNoReader) that lists the readers present.
struct PcscReaderChoice {
  std::size_t index = 0;
  std::string name;
  PcscError error;
};

// PCS0...PCS9 pick a reader by place. A name picks the reader of exactly that name, else the
// one reader whose name starts with it, case aside. No reader, or more than one, is an error.
PcscReaderChoice FindPcscReader(const std::vector<PcscReader>& readers, const PcscReaderRef& ref);
// The same among the readers present now.
PcscReaderChoice FindPcscReader(const PcscContext& context, const PcscReaderRef& ref);

// "PCS0"..."PCS9" for the first ten readers; empty for the others, which only a "pcsc:" name
// reaches.
std::string PcscPortName(std::size_t index);
// One reader as the port list shows it: "PCS0  Virtual PCD 00 00  card present" (or "no card";
// a reader past PCS9 shows as "pcsc:Name").
std::string PcscReaderLine(std::size_t index, const PcscReader& reader);

}  // namespace quorvel
