#include "commands/scc_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quorvel {
namespace {

static_assert(kSccResetCopiesAt + 2 * kSccTextSize == kSccBinAt);
static_assert(kSccReservedBlockAt + kSccReservedBlockSize == kSccResetCopiesAt);
static_assert(kSccCountAt + 4 == kSccHeaderSize);
static_assert(kSccRecordSize == 620);

void PutText(std::uint8_t* at, const char (&field)[kSccTextSize]) {
  std::memcpy(at, field, kSccTextSize);
}

void PutInt32(std::uint8_t* at, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// A field without its zero is cut at its last byte, so nothing reads past it.
template <std::size_t N>
void TerminateWithin(char (&field)[N]) {
  if (std::memchr(field, '\0', N) == nullptr) field[N - 1] = '\0';
}

void GetText(const std::uint8_t* at, char (&field)[kSccTextSize]) {
  std::memcpy(field, at, kSccTextSize);
  TerminateWithin(field);
}

std::int32_t GetInt32(const std::uint8_t* at) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return static_cast<std::int32_t>(bits);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is followed, so the file it names is replaced, not the link.
std::string ReplacementTarget(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      std::string target(resolved);
      std::free(resolved);
      return target;
    }
  }
  return path;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// Creates a new file beside the target with the mode a new file gets there.
int CreateTemporary(const std::string& target, std::string& temporaryPath) {
  const std::string prefix =
      DirectoryOf(target) + "/." + NameOf(target) + ".tmp" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = prefix + std::to_string(attempt);
    const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename is already done; a failure here loses nothing written
  close(fd);
}

}  // namespace

std::vector<std::uint8_t> EncodeScc(const SccSettings& settings,
                                    const std::vector<std::unique_ptr<CardCommand>>& commands) {
  std::vector<std::uint8_t> bytes(kSccHeaderSize + kSccRecordSize * commands.size());
  std::uint8_t* out = bytes.data();
  PutText(out + kSccLogFileNameAt, settings.logFileName);
  PutText(out + kSccAltLogFileNameAt, settings.altLogFileName);
  PutText(out + kSccExecuteSettingsAt, settings.executeSettings);
  PutText(out + kSccAltExecuteSettingsAt, settings.altExecuteSettings);
  PutText(out + kSccResetSettingsAt, settings.resetSettings);
  PutText(out + kSccAltResetSettingsAt, settings.altResetSettings);
  PutInt32(out + kSccReservedWordAt, settings.reservedWord);
  std::memcpy(out + kSccReservedBlockAt, settings.reservedBlock, kSccReservedBlockSize);
  PutText(out + kSccResetCopiesAt, settings.resetSettings);
  PutText(out + kSccResetCopiesAt + kSccTextSize, settings.resetSettings);
  PutInt32(out + kSccBinAt, settings.bin);
  PutInt32(out + kSccInverseAt, settings.inverse);
  PutInt32(out + kSccCountAt, static_cast<std::int32_t>(commands.size()));
  std::uint8_t* record = out + kSccHeaderSize;
  for (const auto& command : commands) {
    std::memcpy(record, command.get(), kSccRecordSize);
    record += kSccRecordSize;
  }
  return bytes;
}

SccDecodeResult DecodeScc(std::span<const std::uint8_t> bytes) {
  SccDecodeResult result;
  if (bytes.size() < kSccHeaderSize) {
    result.status = SccDecodeStatus::kRefused;
    result.message = "This is not a SmartCard configuration file: it holds " +
                     std::to_string(bytes.size()) + " bytes, fewer than the " +
                     std::to_string(kSccHeaderSize) + " of its settings.";
    return result;
  }
  const std::uint8_t* in = bytes.data();
  SccSettings& settings = result.settings;
  GetText(in + kSccLogFileNameAt, settings.logFileName);
  GetText(in + kSccAltLogFileNameAt, settings.altLogFileName);
  GetText(in + kSccExecuteSettingsAt, settings.executeSettings);
  GetText(in + kSccAltExecuteSettingsAt, settings.altExecuteSettings);
  GetText(in + kSccResetSettingsAt, settings.resetSettings);
  GetText(in + kSccAltResetSettingsAt, settings.altResetSettings);
  settings.reservedWord = GetInt32(in + kSccReservedWordAt);
  std::memcpy(settings.reservedBlock, in + kSccReservedBlockAt, kSccReservedBlockSize);
  settings.bin = GetInt32(in + kSccBinAt);
  settings.inverse = GetInt32(in + kSccInverseAt);
  result.announcedCount = GetInt32(in + kSccCountAt);

  const std::size_t announced =
      result.announcedCount > 0 ? static_cast<std::size_t>(result.announcedCount) : 0;
  const std::size_t held = (bytes.size() - kSccHeaderSize) / kSccRecordSize;
  const std::size_t count = std::min(announced, held);
  result.records.reserve(count);
  const std::uint8_t* record = in + kSccHeaderSize;
  for (std::size_t i = 0; i < count; ++i, record += kSccRecordSize) {
    auto command = std::make_unique<CardCommand>();
    std::memcpy(command.get(), record, kSccRecordSize);
    TerminateWithin(command->comment);
    result.records.push_back(std::move(command));
  }
  result.loadedCount = count;
  if (count < announced) {
    result.status = SccDecodeStatus::kRecordsCutShort;
    result.message = "The file ends early: " + std::to_string(count) + " of its " +
                     std::to_string(announced) + " commands were loaded.";
  } else {
    result.status = SccDecodeStatus::kOk;
  }
  return result;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<std::uint8_t> content;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    content.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (got == 0) break;
    content.insert(content.end(), chunk, chunk + got);
  }
  close(fd);
  if (ok) bytes = std::move(content);
  return ok;
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string target = ReplacementTarget(path);
  std::string temporaryPath;
  const int fd = CreateTemporary(target, temporaryPath);
  if (fd < 0) return false;

  bool ok = true;
  // An existing file keeps its permissions.
  struct stat old;
  if (stat(target.c_str(), &old) == 0) ok = fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, bytes.data(), bytes.size());
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporaryPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporaryPath.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

}  // namespace quorvel
