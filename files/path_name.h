#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// What a file name says about where it leads, read from the name alone (links
// are not followed: the name is judged as it is written).

// True for a name that leads outside the working folder: an absolute name, or
// one whose ".." parts climb above where it starts ("../x", "a/../../x").
bool LeavesWorkingFolder(std::string_view name);

// The full path of a name, without "." and ".." parts: "/home/user/x" for "../x"
// in /home/user/cards.
std::string FullPath(std::string_view name);

// The name's last part ("notes.txt" for "/home/user/notes.txt"), or `fallback`
// when it has none that names a file ("/", "..", "logs/").
std::string LastComponent(std::string_view name, std::string_view fallback);

}  // namespace quorvel
