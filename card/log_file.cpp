#include "card/log_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/link_free_open.h"

namespace quorvel {

LogFile::~LogFile() {
  Close();
}

bool LogFile::Open(const std::string& path, bool binary) {
  Close();
  write_error_ = 0;
  // The stream is always binary underneath: text mode's line ends are written
  // here, the same on every platform.
  stream_ = std::fopen(path.c_str(), "w+be");
  binary_ = binary;
  return stream_ != nullptr;
}

bool LogFile::OpenWithoutLinks(const std::string& path, bool binary) {
  Close();
  write_error_ = 0;
  const int fd = OpenForWritingWithoutLinks(path);
  if (fd < 0) return false;
  stream_ = fdopen(fd, "w+b");
  if (stream_ == nullptr) close(fd);
  binary_ = binary;
  return stream_ != nullptr;
}

void LogFile::Hold(const std::string& path, bool binary, bool withoutLinks) {
  Close();
  write_error_ = 0;
  stream_ = open_memstream(&held_, &held_size_);
  binary_ = binary;
  held_path_ = path;
  held_without_links_ = withoutLinks;
}

bool LogFile::Commit() {
  if (held_path_.empty()) return IsOpen();
  if (stream_ == nullptr) return false;
  Check(std::fflush(stream_) == 0);
  const std::string held(held_, held_size_);
  const int error = write_error_;
  const std::string path = held_path_;
  const bool binary = binary_;
  Close();
  if (!(held_without_links_ ? OpenWithoutLinks(path, binary) : Open(path, binary))) return false;
  write_error_ = error;
  // Written as the bytes were held: line ends are in them already.
  Check(std::fwrite(held.data(), 1, held.size(), stream_) == held.size());
  return true;
}

void LogFile::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  std::free(held_);
  held_ = nullptr;
  held_size_ = 0;
  held_path_.clear();
}

void LogFile::WriteRaw(const std::uint8_t* bytes, std::size_t count) {
  if (stream_ == nullptr || count == 0) return;
  if (binary_) {
    Check(std::fwrite(bytes, 1, count, stream_) == count);
    return;
  }
  const std::uint8_t* end = bytes + count;
  while (bytes < end) {
    const auto* lineFeed = static_cast<const std::uint8_t*>(
        std::memchr(bytes, '\n', static_cast<std::size_t>(end - bytes)));
    const std::uint8_t* stop = lineFeed != nullptr ? lineFeed : end;
    const auto length = static_cast<std::size_t>(stop - bytes);
    Check(std::fwrite(bytes, 1, length, stream_) == length);
    if (lineFeed == nullptr) break;
    Check(std::fwrite(kTextLogLineEnd, 1, 2, stream_) == 2);
    bytes = lineFeed + 1;
  }
}

void LogFile::WriteLine(const std::string& row) {
  if (stream_ == nullptr) return;
  std::string line = row;
  line += '\n';
  WriteRaw(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
}

void LogFile::Flush() {
  if (stream_ != nullptr) Check(std::fflush(stream_) == 0);
}

void LogFile::Check(bool succeeded) {
  if (!succeeded && write_error_ == 0) write_error_ = errno != 0 ? errno : EIO;
}

}  // namespace quorvel
