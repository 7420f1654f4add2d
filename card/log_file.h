#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel {

// How a text log ends each row on disk.
inline constexpr const char* kTextLogLineEnd = "\r\n";

// The log stream. Its mode is fixed when it is opened: binary stores bytes
// unchanged; text stores every line feed as a carriage return and a line feed,
// on every platform, so logs match what the program has always written.
class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates the file anew, cut to zero length; false when it cannot be.
  bool Open(const std::string& path, bool binary);
  // The same for a name the user did not choose: never through a symbolic link,
  // and only a regular file.
  bool OpenWithoutLinks(const std::string& path, bool binary);
  // Writes are held in memory from here; Commit creates the file (as Open or
  // OpenWithoutLinks would) and writes them there. Closing first leaves no file behind.
  void Hold(const std::string& path, bool binary, bool withoutLinks);
  // False when the held file cannot be created; the log is then closed.
  bool Commit();
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }

  // A write error never stops the card dialogue; the first one is kept for writeError().
  void WriteRaw(const std::uint8_t* bytes, std::size_t count);
  // The row and a line end.
  void WriteLine(const std::string& row);
  // Hands everything buffered to the system, so a killed process loses nothing.
  void Flush();
  // The error (an errno value) of the first write since Open that did not go through: a
  // full disk, a file-size limit. 0 while every write has.
  int writeError() const { return write_error_; }

 private:
  // Keeps the error of a write or flush that failed, unless one is kept already.
  void Check(bool succeeded);

  std::FILE* stream_ = nullptr;
  bool binary_ = true;
  int write_error_ = 0;
  // While held: the memory the stream writes to, and where it goes on Commit.
  char* held_ = nullptr;
  std::size_t held_size_ = 0;
  std::string held_path_;
  bool held_without_links_ = false;
};

}  // namespace quorvel
