#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The program's profile: one INI file, Quorvel.INI, in the user's configuration
// folder. Values come back exactly as they were written: no list splitting, no
// escapes; a value with blanks or quotes at either end is written in quotes.
class Profile {
 public:
  // $XDG_CONFIG_HOME/Quorvel.INI, or ~/.config/Quorvel.INI.
  static std::string DefaultPath();

  // The most a profile file may hold; a bigger one is not read.
  static constexpr std::size_t kMaxFileSize = 1 << 20;

  // Reads the file, a regular file only, without blocking. A missing file gives an
  // empty profile. So does one that cannot be read (a named pipe, a device, too
  // big, no permission), and Save then leaves that file alone.
  static Profile Load(const std::string& path);
  // The profile that a file at `path` holding `text` gives.
  static Profile Parse(const std::string& path, std::string_view text);

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback) const;
  // A value with a line break cannot be kept in the file: it is refused (false)
  // and the key keeps what it had.
  bool SetString(const std::string& section, const std::string& key, const std::string& value);
  // Every key of a section, in file order (later duplicates win).
  std::map<std::string, std::string> Section(const std::string& section) const;

  // The file's text: other sections, keys and comments as they were read.
  std::string Text() const;
  // Writes the file (creating its folder) through a temporary file beside it, so a
  // failure (a full disk) keeps the old file whole. Returns false when it cannot
  // be written, or when the file that was there could not be read.
  bool Save() const;

  const std::string& path() const { return path_; }

 private:
  struct Line {
    std::string text;     // the line as read, for lines that are kept untouched
    std::string section;  // section the line belongs to
    std::string key;      // empty for anything that is not a key line
    std::string value;
  };
  std::optional<std::size_t> Find(const std::string& section, const std::string& key) const;

  std::string path_;
  std::vector<Line> lines_;
  bool keep_file_ = false;  // what is at path_ could not be read: never overwrite it
};

}  // namespace quorvel
