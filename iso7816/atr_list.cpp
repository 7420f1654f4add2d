#include "iso7816/atr_list.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "files/input_file.h"

namespace quorvel {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The digits one position of a pattern allows, reading a hex digit, "." or a "[...]" class
// at `at` and moving past it; 0 when the position cannot be read.
std::uint16_t ReadDigitSet(std::string_view line, std::size_t& at) {
  if (at >= line.size()) return 0;
  const char c = line[at];
  if (c == '.') {
    ++at;
    return 0xFFFF;
  }
  if (const int value = HexValue(c); value >= 0) {
    ++at;
    return static_cast<std::uint16_t>(1u << value);
  }
  if (c != '[') return 0;
  ++at;
  unsigned set = 0;
  while (at < line.size() && line[at] != ']') {
    // Commas and bars separate the digits in some of the list's classes; neither is a digit.
    if (line[at] == ',' || line[at] == '|') {
      ++at;
      continue;
    }
    const int first = HexValue(line[at++]);
    if (first < 0) return 0;
    int last = first;
    if (at + 1 < line.size() && line[at] == '-') {
      last = HexValue(line[at + 1]);
      if (last < first) return 0;
      at += 2;
    }
    for (int value = first; value <= last; ++value) set |= 1u << value;
  }
  if (at >= line.size()) return 0;  // no closing bracket
  ++at;
  return static_cast<std::uint16_t>(set);
}

// Appends the bytes of an ATR line to `bytes`; false, with `bytes` as it was, when the line
// cannot be read.
bool AppendPatternBytes(std::string_view line, std::vector<AtrPatternByte>& bytes) {
  const std::size_t before = bytes.size();
  std::size_t at = 0;
  for (;;) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    AtrPatternByte byte;
    byte.high = ReadDigitSet(line, at);
    byte.low = byte.high == 0 ? 0 : ReadDigitSet(line, at);
    if (byte.low == 0) {
      bytes.resize(before);
      return false;
    }
    bytes.push_back(byte);
  }
  return bytes.size() > before;
}

bool MatchesBytes(const AtrPatternByte* pattern, std::span<const std::uint8_t> atr) {
  for (std::size_t i = 0; i < atr.size(); ++i)
    if (!pattern[i].Matches(atr[i])) return false;
  return true;
}

// The list is a few megabytes at most; anything far larger is not it.
constexpr std::uint64_t kLargestList = 64u << 20;

// The whole content of the list file; empty when there is none or it cannot be read.
std::string ReadWholeFile(const std::string& path) {
  std::string text;
  InputFile file(path);
  if (file.status() != InputFile::Status::kOpen || file.size() > kLargestList) return text;
  text.resize(static_cast<std::size_t>(file.size()));
  const std::ptrdiff_t got =
      file.ReadAt(0, reinterpret_cast<std::uint8_t*>(text.data()), text.size());
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

}  // namespace

bool AtrPattern::Matches(std::span<const std::uint8_t> atr) const {
  return atr.size() == bytes.size() && MatchesBytes(bytes.data(), atr);
}

std::optional<AtrPattern> ParseAtrPattern(std::string_view line) {
  AtrPattern pattern;
  if (!AppendPatternBytes(line, pattern.bytes)) return std::nullopt;
  return pattern;
}

// The list's text kept whole, with the patterns and description lines pointing into it.
struct AtrList::Index {
  struct Entry {
    std::string_view pattern;
    std::uint32_t firstByte = 0;
    std::uint32_t byteCount = 0;
    std::uint32_t firstLine = 0;
    std::uint32_t lineCount = 0;
  };

  explicit Index(std::string listText);
  void DropEntryWithoutLines();

  std::string text;
  std::vector<AtrPatternByte> bytes;
  std::vector<std::string_view> lines;
  std::vector<Entry> entries;
  // Entries by pattern length: an ATR is compared only with the patterns of its length.
  std::vector<std::vector<std::uint32_t>> byLength;
};

void AtrList::Index::DropEntryWithoutLines() {
  if (entries.empty() || entries.back().lineCount > 0) return;
  bytes.resize(entries.back().firstByte);
  entries.pop_back();
}

AtrList::Index::Index(std::string listText) : text(std::move(listText)) {
  const std::string_view all = text;
  bool inEntry = false;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(at, end - at);
    at = end + 1;
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (line.empty()) {
      inEntry = false;
      continue;
    }
    if (line.front() == '#') continue;
    if (IsBlank(line.front())) {
      while (IsBlank(line.front())) line.remove_prefix(1);
      if (!inEntry) continue;
      lines.push_back(line);
      ++entries.back().lineCount;
      continue;
    }
    DropEntryWithoutLines();
    Entry entry;
    entry.firstByte = static_cast<std::uint32_t>(bytes.size());
    inEntry = AppendPatternBytes(line, bytes);
    if (!inEntry) continue;
    entry.pattern = line;
    entry.byteCount = static_cast<std::uint32_t>(bytes.size()) - entry.firstByte;
    entry.firstLine = static_cast<std::uint32_t>(lines.size());
    entries.push_back(entry);
  }
  DropEntryWithoutLines();
  for (std::uint32_t id = 0; id < entries.size(); ++id) {
    const std::size_t length = entries[id].byteCount;
    if (byLength.size() <= length) byLength.resize(length + 1);
    byLength[length].push_back(id);
  }
}

AtrList::AtrList(std::string path) : path_(std::move(path)) {}

AtrList::AtrList(FromTextTag, std::string text) : text_(std::move(text)), fromText_(true) {}

AtrList AtrList::FromText(std::string text) {
  return AtrList(FromTextTag{}, std::move(text));
}

AtrList::~AtrList() = default;

const AtrList::Index& AtrList::Loaded() const {
  std::call_once(loadOnce_, [this] {
    index_ = std::make_unique<Index>(fromText_ ? std::move(text_) : ReadWholeFile(path_));
  });
  return *index_;
}

std::vector<AtrListMatch> AtrList::Find(std::span<const std::uint8_t> atr) const {
  std::vector<AtrListMatch> matches;
  const Index& index = Loaded();
  if (atr.size() >= index.byLength.size()) return matches;
  for (const std::uint32_t id : index.byLength[atr.size()]) {
    const Index::Entry& entry = index.entries[id];
    if (!MatchesBytes(index.bytes.data() + entry.firstByte, atr)) continue;
    AtrListMatch& match = matches.emplace_back();
    match.pattern = entry.pattern;
    match.length = atr.size();
    for (std::uint32_t line = 0; line < entry.lineCount; ++line)
      match.description.emplace_back(index.lines[entry.firstLine + line]);
  }
  return matches;
}

std::vector<AtrListMatch> AtrList::FindReceived(std::span<const std::uint8_t> received,
                                                std::size_t atrLength) const {
  std::vector<AtrListMatch> matches = Find(received.first(std::min(atrLength, received.size())));
  if (atrLength < received.size()) {
    std::vector<AtrListMatch> whole = Find(received);
    matches.insert(matches.end(), std::make_move_iterator(whole.begin()),
                   std::make_move_iterator(whole.end()));
  }
  return matches;
}

std::size_t AtrList::Size() const {
  return Loaded().entries.size();
}

}  // namespace quorvel
