#include "cli/stream_message_sink.h"

#include <cerrno>
#include <cstring>

#include "cli/printable_text.h"

namespace quorvel {

void StreamMessageSink::ShowMessage(const std::string& text) {
  std::string shown;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    shown += Printable(std::string_view(text).substr(start, end - start)) + '\n';
  shown += Printable(std::string_view(text).substr(start));
  stream_ << shown << '\n' << std::flush;
}

void CheckedOutput::Write(std::string_view text) {
  if (failed_) return;
  errno = 0;
  stream_ << text << std::flush;
  if (stream_) return;
  const int error = errno;
  failed_ = true;
  messages_.ShowMessage(std::string("Could not write to standard output") +
                        (error != 0 ? std::string(": ") + std::strerror(error) : "") + ".");
}

}  // namespace quorvel
