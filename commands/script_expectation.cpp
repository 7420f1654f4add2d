#include "commands/script_expectation.h"

#include "commands/command_text.h"

namespace quorvel {
namespace {

void AppendPattern(std::string& out, BytePattern pattern) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += (pattern.mask & 0xF0) ? kDigits[pattern.value >> 4] : 'X';
  out += (pattern.mask & 0x0F) ? kDigits[pattern.value & 0x0F] : 'X';
}

std::string StatusWordText(const StatusWordPattern& pattern) {
  std::string out;
  AppendPattern(out, pattern.sw1);
  out += ' ';
  AppendPattern(out, pattern.sw2);
  return out;
}

std::string DataPatternText(const std::vector<BytePattern>& data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) out += ' ';
    AppendPattern(out, data[i]);
  }
  return out;
}

// "90 00 or 61 XX with data 01 XX".
std::string ExpectedText(const Expectation& expectation) {
  std::string out;
  for (std::size_t i = 0; i < expectation.statusWords.size(); ++i) {
    if (i > 0) out += " or ";
    out += StatusWordText(expectation.statusWords[i]);
  }
  if (expectation.data) {
    if (!out.empty()) out += " with ";
    out += expectation.data->empty() ? "any data" : "data " + DataPatternText(*expectation.data);
  }
  return out;
}

std::string ReceivedText(const Expectation& expectation, const ReceivedAnswer& answer) {
  std::string out;
  if (!expectation.statusWords.empty()) {
    const auto half = [&](const std::optional<std::uint8_t>& sw) {
      if (sw) return HexBytesText(&*sw, 1);
      return std::string("--");
    };
    out = half(answer.sw1) + " " + half(answer.sw2);
  }
  if (expectation.data) {
    if (!out.empty()) out += " with ";
    out += answer.data.empty() ? "no data"
                               : "data " + HexBytesText(answer.data.data(), answer.data.size());
  }
  return out;
}

bool MeetsStatusWord(const std::vector<StatusWordPattern>& patterns, const ReceivedAnswer& answer) {
  if (patterns.empty()) return true;
  if (!answer.sw1 || !answer.sw2) return false;
  for (const StatusWordPattern& pattern : patterns) {
    if (pattern.sw1.Matches(*answer.sw1) && pattern.sw2.Matches(*answer.sw2)) return true;
  }
  return false;
}

bool MeetsData(const std::optional<std::vector<BytePattern>>& pattern,
               std::span<const std::uint8_t> data) {
  if (!pattern) return true;
  if (pattern->size() > data.size()) return false;
  for (std::size_t i = 0; i < pattern->size(); ++i) {
    if (!(*pattern)[i].Matches(data[i])) return false;
  }
  return true;
}

// Two characters, each a hex digit or X, blanks between patterns optional.
BytePattern ReadBytePattern(LineCursor& cursor, std::string_view what) {
  cursor.SkipBlanks();
  BytePattern pattern;
  for (int half = 0; half < 2; ++half) {
    const char c = cursor.Peek(static_cast<std::size_t>(half));
    const int digit = HexDigitValue(c);
    const int shift = half == 0 ? 4 : 0;
    if (digit >= 0) {
      pattern.value |= static_cast<std::uint8_t>(digit << shift);
      pattern.mask |= static_cast<std::uint8_t>(0x0F << shift);
    } else if (c != 'X' && c != 'x') {
      cursor.Fail("expected " + std::string(what) + " (two hex digits or X), found " +
                  cursor.FoundPair(cursor.at()));
    }
  }
  cursor.Advance(2);
  return pattern;
}

[[noreturn]] void FailUnclosed(const LineCursor& cursor, char close, std::size_t open) {
  cursor.Fail("expected \"" + std::string(1, close) + "\" to close the \"" +
              std::string(1, cursor.line()[open]) + "\" at column " +
              std::to_string(ColumnOf(cursor.line(), open)) + ", found " +
              cursor.FoundPair(cursor.at()));
}

void ReadStatusWords(LineCursor& cursor, std::vector<StatusWordPattern>& into) {
  const std::size_t open = cursor.at();
  cursor.Advance();
  while (true) {
    cursor.SkipBlanks();
    if (cursor.AtEnd()) FailUnclosed(cursor, ')', open);
    if (into.size() == kMaxStatusWordAlternatives) {
      cursor.Fail("expected at most " + std::to_string(kMaxStatusWordAlternatives) +
                  " status words in one pattern");
    }
    StatusWordPattern pattern;
    pattern.sw1 = ReadBytePattern(cursor, "a status byte");
    pattern.sw2 = ReadBytePattern(cursor, "a status byte");
    into.push_back(pattern);
    cursor.SkipBlanks();
    if (cursor.Peek() == ')') break;
    if (cursor.Peek() == ',') {
      cursor.Advance();
      continue;
    }
    if (cursor.AtEnd()) FailUnclosed(cursor, ')', open);
    cursor.Fail("expected \",\" or \")\" after a status word (SW1 SW2), found " +
                cursor.FoundPair(cursor.at()));
  }
  cursor.Advance();
}

void ReadDataPattern(LineCursor& cursor, std::vector<BytePattern>& into) {
  const std::size_t open = cursor.at();
  cursor.Advance();
  for (cursor.SkipBlanks(); cursor.Peek() != ']'; cursor.SkipBlanks()) {
    if (cursor.AtEnd()) FailUnclosed(cursor, ']', open);
    if (into.size() == kMaxExpectedDataBytes) {
      cursor.Fail("expected at most " + std::to_string(kMaxExpectedDataBytes) +
                  " bytes of expected data, found more");
    }
    into.push_back(ReadBytePattern(cursor, "a data byte"));
  }
  cursor.Advance();
}

}  // namespace

std::string ExpectationText(const Expectation& expectation) {
  std::string out;
  if (!expectation.statusWords.empty()) {
    out += '(';
    for (std::size_t i = 0; i < expectation.statusWords.size(); ++i) {
      if (i > 0) out += ", ";
      out += StatusWordText(expectation.statusWords[i]);
    }
    out += ')';
  }
  if (expectation.data) {
    if (!out.empty()) out += ' ';
    out += '[';
    out += DataPatternText(*expectation.data);
    out += ']';
  }
  return out;
}

bool Meets(const Expectation& expectation, const ReceivedAnswer& answer) {
  return MeetsStatusWord(expectation.statusWords, answer) &&
         MeetsData(expectation.data, answer.data);
}

std::string ExpectationReport(const Expectation& expectation, const ReceivedAnswer& answer) {
  const std::string expected = "expected " + ExpectedText(expectation);
  if (Meets(expectation, answer)) return expected + ": met";
  return expected + ", got " + ReceivedText(expectation, answer);
}

void ReadExpectationPart(LineCursor& cursor, Expectation& into) {
  if (cursor.Peek() == '(') {
    if (!into.statusWords.empty()) cursor.Fail("expected one status word pattern, found a second");
    ReadStatusWords(cursor, into.statusWords);
  } else {
    if (into.data) cursor.Fail("expected one data pattern, found a second");
    ReadDataPattern(cursor, into.data.emplace());
  }
}

ExpectationParse ParseExpectation(std::string_view text) {
  ExpectationParse parse;
  LineCursor cursor(text);
  try {
    for (cursor.SkipBlanks(); !cursor.AtEnd(); cursor.SkipBlanks()) {
      if (cursor.Peek() != '(' && cursor.Peek() != '[') {
        cursor.Fail("expected \"(\" or \"[\", found " + cursor.FoundPair(cursor.at()));
      }
      ReadExpectationPart(cursor, parse.expectation);
    }
  } catch (SyntaxError& error) {
    parse.error = std::move(error);
  }
  return parse;
}

}  // namespace quorvel
