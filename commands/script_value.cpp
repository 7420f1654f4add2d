#include "commands/script_value.h"

#include "commands/command_text.h"
#include "controls/field_text.h"

namespace quorvel {
namespace {

// A C0 or C1 control character or DEL starts at bytes[at].
bool ControlAt(std::string_view bytes, std::size_t at) {
  const auto byte = static_cast<unsigned char>(bytes[at]);
  if (byte < 0x20 || byte == 0x7F) return true;
  const auto next = at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) : 0u;
  return byte == 0xC2 && next >= 0x80 && next < 0xA0;
}

// Whether a bare value would read back as `bytes`.
bool StandsBare(std::string_view bytes, bool hashAllowed) {
  // A backslash at the end of a line would continue it on the next.
  if (bytes.empty() || IsBlank(bytes.front()) || IsBlank(bytes.back()) || bytes.front() == '"' ||
      bytes.back() == '\\')
    return false;
  if (!hashAllowed && bytes.find('#') != std::string_view::npos) return false;
  if (!IsUtf8(bytes)) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (ControlAt(bytes, i)) return false;
  }
  return true;
}

std::string QuotedText(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = FirstCharacterLength(bytes.substr(i));
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const bool invalid = byte >= 0x80 && length == 1;
    if (invalid || ControlAt(bytes, i)) {
      out += "\\x";
      AppendHexByte(out, byte);
      i += 1;  // a C1 control's second byte is escaped on its own turn
      continue;
    }
    if (bytes[i] == '"' || bytes[i] == '\\') out += '\\';
    out.append(bytes.substr(i, length));
    i += length;
  }
  return out + "\"";
}

std::string Written(std::string_view bytes, bool hashAllowed) {
  return StandsBare(bytes, hashAllowed) ? std::string(bytes) : QuotedText(bytes);
}

// The quoted text at the cursor, its opening quote under it; the cursor ends after
// the closing quote.
std::string ReadQuoted(LineCursor& cursor) {
  std::string bytes;
  cursor.Advance();
  while (true) {
    const char c = cursor.Peek();
    if (cursor.AtEnd()) cursor.Fail("expected a closing quote, found the end of the line");
    if (c == '"') break;
    if (c != '\\') {
      bytes += c;
      cursor.Advance();
      continue;
    }
    const std::size_t escape = cursor.at();
    const char kind = cursor.Peek(1);
    if (kind == '\\' || kind == '"') {
      bytes += kind;
      cursor.Advance(2);
      continue;
    }
    const int high = HexDigitValue(cursor.Peek(2));
    const int low = HexDigitValue(cursor.Peek(3));
    if (kind != 'x' || high < 0 || low < 0) {
      cursor.Fail("expected \\\\, \\\" or \\x and two hex digits after a backslash, found " +
                  cursor.FoundWord(escape));
    }
    if (high == 0 && low == 0) cursor.Fail("expected a byte other than \\x00 in a text");
    bytes += static_cast<char>(high * 16 + low);
    cursor.Advance(4);
  }
  cursor.Advance();
  return bytes;
}

void CheckLength(const LineCursor& cursor, std::size_t start, const std::string& bytes,
                 std::size_t limit, std::string_view what) {
  if (bytes.size() <= limit) return;
  cursor.FailAt(start, "expected " + std::string(what) + " of at most " + std::to_string(limit) +
                           " bytes, found " + std::to_string(bytes.size()));
}

std::string_view TrimmedEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ValueText(std::string_view bytes) {
  return Written(bytes, false);
}

std::string CommentText(std::string_view bytes) {
  return Written(bytes, true);
}

std::string ReadValue(LineCursor& cursor, std::size_t limit, std::string_view what) {
  cursor.SkipBlanks();
  const std::size_t start = cursor.at();
  std::string bytes;
  if (cursor.Peek() == '"') {
    bytes = ReadQuoted(cursor);
    cursor.ExpectEndOrComment("the closing quote");
  } else {
    std::string_view rest = cursor.Rest();
    rest = TrimmedEnd(rest.substr(0, rest.find('#')));
    if (rest.empty()) {
      cursor.Fail("expected " + std::string(what) + " (\"\" for an empty one), found " +
                  cursor.FoundWord(start));
    }
    bytes = std::string(rest);
    cursor.Advance(rest.size());
  }
  CheckLength(cursor, start, bytes, limit, what);
  return bytes;
}

std::string ReadComment(LineCursor& cursor, std::size_t limit) {
  cursor.Advance();  // the "#"
  cursor.SkipBlanks();
  const std::size_t start = cursor.at();
  std::string bytes;
  bool quoted = false;
  if (cursor.Peek() == '"') {
    // A quoted comment is one only when it parses to the end of the line; any other
    // comment that starts with a quote is taken as it stands.
    try {
      LineCursor trial = cursor;
      bytes = ReadQuoted(trial);
      trial.SkipBlanks();
      quoted = trial.AtEnd();
    } catch (const SyntaxError&) {
    }
  }
  if (!quoted) bytes = std::string(TrimmedEnd(cursor.Rest()));
  cursor.Advance(cursor.Rest().size());
  CheckLength(cursor, start, bytes, limit, "a comment");
  return bytes;
}

}  // namespace quorvel
