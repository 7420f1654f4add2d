#pragma once

#include "sim/card_access.h"
#include "sim/card_walk.h"

namespace quorvel {

// Walks the card's known files (known_files.h) through `card` and decodes what it reads.
//
// The card's kind: SELECT MF as a UICC (00 A4 00 04 02 3F 00, the FCP after 61 XX) and, when
// that is refused, as a SIM (A0 A4 00 00 02 3F 00, the answer after 9F XX). A directory
// refused in the class in use (6E 00, 6D 00, or 94 04 under A0) is tried once in the other,
// which is used from then on; when neither takes it both status words are kept. The
// applications EF.DIR names are selected by their full AID in class 00.
//
// Each directory is selected once, then each of its known files; each file is read as its
// SELECT answer describes it, READ BINARY in parts of at most 255 bytes or READ RECORD
// (absolute, P3 = the record length) for each record, and never twice. The walk sends
// SELECT, GET RESPONSE (after 61 XX or 9F XX), READ BINARY and READ RECORD, and the same
// command again with P3 = XX after 6C XX: never VERIFY or anything that changes the card. A
// status word marks the file (absent, needs a PIN with the tries the SELECT answer gave,
// invalidated, out of range...) and the walk goes on; it ends early only when the card stops
// answering or a stop is requested.
CardWalk WalkCard(CardAccess& card);

}  // namespace quorvel
