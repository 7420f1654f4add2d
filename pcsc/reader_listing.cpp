#include "pcsc/reader_listing.h"

#include <winscard.h>

namespace quorvel {
namespace {

// The multi-string SCardListReaders fills: names ended by NUL, the list by one more NUL.
std::vector<std::string> SplitNames(const std::vector<char>& buffer) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < buffer.size() && buffer[start] != '\0') {
    std::string name(&buffer[start]);
    start += name.size() + 1;
    names.push_back(std::move(name));
  }
  return names;
}

LONG ReaderNames(SCARDCONTEXT context, std::vector<std::string>& names) {
  // A reader plugged in between asking the size and reading the names needs a second try.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    LONG result = SCardListReaders(context, nullptr, nullptr, &size);
    if (result != SCARD_S_SUCCESS) return result;
    std::vector<char> buffer(size + 1, '\0');
    result = SCardListReaders(context, nullptr, buffer.data(), &size);
    if (result == SCARD_E_INSUFFICIENT_BUFFER) continue;
    if (result != SCARD_S_SUCCESS) return result;
    names = SplitNames(buffer);
    return SCARD_S_SUCCESS;
  }
  return SCARD_E_INSUFFICIENT_BUFFER;
}

}  // namespace

PcscReaderList ListPcscReaders(const PcscContext& context) {
  PcscReaderList list;
  std::vector<std::string> names;
  const LONG result = ReaderNames(context.handle(), names);
  if (result == SCARD_E_NO_READERS_AVAILABLE) return list;
  if (result != SCARD_S_SUCCESS) {
    list.error = DescribePcscCode(result);
    return list;
  }
  std::vector<SCARD_READERSTATE> states(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    states[i].szReader = names[i].c_str();
    states[i].dwCurrentState = SCARD_STATE_UNAWARE;
  }
  const LONG status =
      SCardGetStatusChange(context.handle(), 0, states.data(), static_cast<DWORD>(states.size()));
  if (status != SCARD_S_SUCCESS && status != SCARD_E_TIMEOUT) {
    list.error = DescribePcscCode(status);
    return list;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    // A reader unplugged between the two calls is left out.
    if (states[i].dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE)) continue;
    list.readers.push_back({names[i], (states[i].dwEventState & SCARD_STATE_PRESENT) != 0});
  }
  return list;
}

PcscReaderList ListPcscReaders() {
  PcscContext context;
  if (PcscError error = context.Establish()) return {{}, std::move(error)};
  return ListPcscReaders(context);
}

PcscError WaitForPcscCard(const PcscContext& context, const std::string& reader, bool present,
                          std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  SCARD_READERSTATE state{};
  state.szReader = reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const DWORD timeout = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
    const LONG result = SCardGetStatusChange(context.handle(), timeout, &state, 1);
    if (result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) {
      return DescribePcscCode(result, reader);
    }
    if (state.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE)) {
      return DescribePcscCode(SCARD_E_UNKNOWN_READER, reader);
    }
    if (((state.dwEventState & SCARD_STATE_PRESENT) != 0) == present) return PcscOk();
    if (result == SCARD_E_TIMEOUT || timeout == 0) {
      return DescribePcscCode(SCARD_E_TIMEOUT, reader);
    }
    state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
  }
}

}  // namespace quorvel
