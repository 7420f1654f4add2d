#include "pcsc/reader_lookup.h"

#include <cctype>

namespace quorvel {
namespace {

bool StartsWithCaseAside(const std::string& name, const std::string& prefix) {
  if (prefix.size() > name.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string ReaderLines(const std::vector<PcscReader>& readers) {
  std::string lines;
  for (std::size_t i = 0; i < readers.size(); ++i) {
    lines += "\n  " + PcscReaderLine(i, readers[i]);
  }
  return lines;
}

PcscReaderChoice NoReader(std::string message, const std::vector<PcscReader>& readers) {
  message += readers.empty() ? std::string(": no PC/SC reader is connected")
                             : ". The PC/SC readers are:" + ReaderLines(readers);
  return {0, {}, {PcscFault::kNoReader, 0, std::move(message)}};
}

}  // namespace

PcscReaderChoice FindPcscReader(const std::vector<PcscReader>& readers, const PcscReaderRef& ref) {
  if (ref.index) {
    if (*ref.index < readers.size()) return {*ref.index, readers[*ref.index].name, {}};
    return NoReader(PcscPortName(*ref.index) + " names no PC/SC reader", readers);
  }
  for (std::size_t i = 0; i < readers.size(); ++i) {
    if (readers[i].name == ref.name) return {i, readers[i].name, {}};
  }
  std::vector<std::size_t> matches;
  for (std::size_t i = 0; i < readers.size(); ++i) {
    if (StartsWithCaseAside(readers[i].name, ref.name)) matches.push_back(i);
  }
  if (matches.size() == 1) return {matches[0], readers[matches[0]].name, {}};
  if (matches.empty()) {
    return NoReader("No PC/SC reader is called \"" + ref.name + "\" or starts so", readers);
  }
  std::string message = "\"" + ref.name +
                        "\" fits more than one PC/SC reader; give more of the "
                        "name:";
  for (std::size_t i : matches) message += "\n  " + PcscReaderLine(i, readers[i]);
  return {0, {}, {PcscFault::kNoReader, 0, std::move(message)}};
}

PcscReaderChoice FindPcscReader(const PcscContext& context, const PcscReaderRef& ref) {
  PcscReaderList list = ListPcscReaders(context);
  if (list.error) return {0, {}, std::move(list.error)};
  return FindPcscReader(list.readers, ref);
}

std::string PcscPortName(std::size_t index) {
  if (index >= kPcscPortCount) return {};
  return kPcscPortPrefix + std::string(1, static_cast<char>('0' + index));
}

std::string PcscReaderLine(std::size_t index, const PcscReader& reader) {
  const std::string port = PcscPortName(index);
  return (port.empty() ? std::string(kPcscTargetScheme) : port + "  ") + reader.name + "  " +
         (reader.cardPresent ? "card present" : "no card");
}

}  // namespace quorvel
