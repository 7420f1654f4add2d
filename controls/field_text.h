#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Names, settings strings and comments are bytes: the program keeps and stores
// them as they came, and an SCC file written on Windows holds them in its 8-bit
// code page. Controls show them as text and give edited text back as bytes; the
// toolkit's controls call these, and nothing else converts.

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view bytes);

// The UTF-8 text a control shows for a field: the bytes themselves when they are
// UTF-8, otherwise each byte read as Windows-1252 (its five unassigned bytes as
// the C1 controls of the same value).
std::string ShownText(std::string_view bytes);

// The bytes of `text` edited in a control that showed `shownFrom`. Text left as it
// was shown gives back `shownFrom` byte for byte; changed text stays Windows-1252
// when `shownFrom` was shown that way and every character has a byte there, and
// is UTF-8 otherwise. Either way ShownText of the result is `text`.
std::string EditedBytes(std::string_view text, std::string_view shownFrom);

// The length of the first character of `bytes`: a whole UTF-8 character, or one
// byte where the bytes are not UTF-8 there.
std::size_t FirstCharacterLength(std::string_view bytes);

// The longest start of `bytes`, at most `limit` long, that does not cut a UTF-8
// character in two when the bytes are UTF-8.
std::size_t FittingLength(std::string_view bytes, std::size_t limit);

}  // namespace quorvel
