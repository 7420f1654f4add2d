#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The program's profile: one INI file, Quorvel.INI, in the user's configuration
// folder. Values come back exactly as they were written: no list splitting, no
// escapes; a value with blanks or quotes at either end is written in quotes.
class Profile {
 public:
  // $XDG_CONFIG_HOME/Quorvel.INI, or ~/.config/Quorvel.INI.
  static std::string DefaultPath();

  // Reads the file; a missing or unreadable file gives an empty profile.
  static Profile Load(const std::string& path);

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback) const;
  void SetString(const std::string& section, const std::string& key, const std::string& value);
  // Every key of a section, in file order (later duplicates win).
  std::map<std::string, std::string> Section(const std::string& section) const;

  // Writes the file (creating its folder); other sections, keys and comments
  // are kept as they were. Returns false when it cannot be written.
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
};

}  // namespace quorvel
