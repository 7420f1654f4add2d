#pragma once

namespace quorvel {

// Command identifier of the window menu's "&About" entry.
inline constexpr unsigned kAboutCommand = 0x10;

// Whether a window-menu command opens the About box. The low four bits of a
// command identifier belong to the window system, so 0x10 to 0x1F all match.
bool IsAboutCommand(unsigned id);

}  // namespace quorvel
