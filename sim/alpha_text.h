#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvel {

struct AlphaText {
  std::string utf8;
  std::vector<std::string> notes;  // bytes outside the coding, counts beyond the field
};

// Text in the SMS default alphabet of TS 23.038 clause 6.2.1, one character a byte with bit 8
// zero, its escape (1B) to the extension table, up to the first FF. A byte with bit 8 set
// shows as U+FFFD with a note.
AlphaText DecodeGsmDefaultAlphabet(std::span<const std::uint8_t> bytes);

// An alpha field of the SIM and USIM (names in ADN records, SPN, labels): UCS2 when its first
// byte is 80, 81 or 82 (TS 102 221 Annex A), else the default alphabet as above. 80: UCS2
// characters two bytes each up to FF FF; 81: a count, a base pointer's bits 15 to 8 (bit 16
// zero, bits 7 to 1 zero), then one byte a character; 82: a count, a 16-bit base, then one byte
// a character. In 81 and 82 a byte below 80 is a default-alphabet character and one from 80
// up is the base plus its low seven bits. Code points among the UTF-16 surrogates (D800 to
// DFFF) are no characters: they are refused, each as U+FFFD, with a note.
AlphaText DecodeAlpha(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
