#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// One entry of a file chooser's filter list.
struct FileFilter {
  std::string description;            // as shown, e.g. "log files (*.bin)"
  std::vector<std::string> patterns;  // e.g. {"*.bin"}
};

// Reads a filter string of display texts and patterns separated by '|' and
// ended by "||", such as "log files (*.txt) | *.txt|All Files (*.*)|*.*||".
// Blanks around a part are not part of it; several patterns in one part are
// separated by ';'. A part without its pattern is dropped.
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// The patterns as a chooser on this system matches them. "*.*" matches every file
// on Windows, names without a dot too, so here it is "*".
std::vector<std::string> DesktopPatterns(const FileFilter& filter);

// The extension a name typed without one takes while this filter is chosen: its one
// pattern's ("*.txt" gives "txt"); empty for several patterns or any file.
std::string FilterExtension(const FileFilter& filter);

// The file chooser that Browse, Load and Save ask for a path.
class FileChooser {
 public:
  enum class Mode { kOpen, kSave };
  struct Request {
    Mode mode = Mode::kOpen;
    std::string filter;  // filter string as above
    // Added to a typed name without one; may be empty. A filter with an extension of its
    // own (FilterExtension) gives its own while it is chosen.
    std::string defaultExtension;
    std::string initialName;  // the name the chooser starts with
  };
  virtual ~FileChooser() = default;
  // The confirmed full path, or nothing when the user cancels. A save chooser
  // asks before an existing file is overwritten.
  virtual std::optional<std::string> Choose(const Request& request) = 0;
};

}  // namespace quorvel
