#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The Exec value of a desktop entry file's [Desktop Entry] group, with the
// file's escapes (\s \n \t \r \\) resolved; none when the group has no Exec.
std::optional<std::string> DesktopEntryExec(std::string_view file_text);

// The data folders in the order the desktop searches them: the user's own
// ($XDG_DATA_HOME, else ~/.local/share), then $XDG_DATA_DIRS, else
// /usr/local/share and /usr/share. Unset variables are passed as null.
std::vector<std::string> XdgDataDirs(const char* data_home, const char* data_dirs,
                                     const char* home);

// The Exec line of the desktop entry with this id (a file name such as
// "firefox-esr.desktop") in the first data folder whose applications/ holds
// it. An id that is not a plain file name is never looked up.
std::optional<std::string> FindDesktopEntryExec(const std::string& desktop_id,
                                                const std::vector<std::string>& data_dirs);

}  // namespace quorvel
