#include "commands/scc_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "files/input_file.h"

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

std::string CouldNotLoad(const std::string& path, const std::string& reason) {
  return "Could not load \"" + path + "\": " + reason + ".";
}

SccLoadResult Refused(const std::string& path, const std::string& reason) {
  SccLoadResult result;
  result.status = SccLoadStatus::kRefused;
  result.message = CouldNotLoad(path, reason);
  return result;
}

}  // namespace

std::size_t SccRecordsToRead(std::span<const std::uint8_t> header, std::uint64_t fileSize) {
  const std::int32_t announced = GetInt32(header.data() + kSccCountAt);
  if (announced <= 0) return 0;
  if (fileSize < kSccHeaderSize) return 0;  // it grew while being read: only the size counts
  const std::uint64_t held = (fileSize - kSccHeaderSize) / kSccRecordSize;
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(announced), held));
}

std::array<std::uint8_t, kSccHeaderSize> EncodeSccHeader(const SccSettings& settings,
                                                         std::int32_t count) {
  std::array<std::uint8_t, kSccHeaderSize> bytes;
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
  PutInt32(out + kSccCountAt, count);
  return bytes;
}

std::vector<std::uint8_t> EncodeScc(const SccSettings& settings,
                                    const std::vector<std::unique_ptr<CardCommand>>& commands) {
  std::vector<std::uint8_t> bytes(kSccHeaderSize + kSccRecordSize * commands.size());
  const auto header = EncodeSccHeader(settings, static_cast<std::int32_t>(commands.size()));
  std::memcpy(bytes.data(), header.data(), kSccHeaderSize);
  std::uint8_t* record = bytes.data() + kSccHeaderSize;
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
    result.message = "it holds " + std::to_string(bytes.size()) + " bytes, fewer than the " +
                     std::to_string(kSccHeaderSize) + " of the settings of a SmartCard " +
                     "configuration file";
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

SccLoadResult LoadSccFile(const std::string& path) {
  InputFile file(path);
  if (file.status() == InputFile::Status::kMissing) {
    SccLoadResult result = Refused(path, file.reason());
    result.status = SccLoadStatus::kMissing;
    return result;
  }
  if (file.status() != InputFile::Status::kOpen) return Refused(path, file.reason());
  try {
    std::vector<std::uint8_t> bytes(kSccHeaderSize);
    std::ptrdiff_t got = file.ReadAt(0, bytes.data(), bytes.size());
    if (got < 0) return Refused(path, file.reason());
    std::size_t length = static_cast<std::size_t>(got);
    if (length == kSccHeaderSize) {
      const std::size_t records = SccRecordsToRead(bytes, file.size());
      if (records > kSccMaxCommands) {
        return Refused(path, "it holds " + std::to_string(records) + " commands, more than the " +
                                 std::to_string(kSccMaxCommands) + " a list can keep");
      }
      bytes.resize(kSccHeaderSize + records * kSccRecordSize);
      got = file.ReadAt(kSccHeaderSize, bytes.data() + kSccHeaderSize, records * kSccRecordSize);
      if (got < 0) return Refused(path, file.reason());
      length += static_cast<std::size_t>(got);  // less when the file shrank meanwhile
    }
    SccLoadResult result;
    result.file = DecodeScc(std::span<const std::uint8_t>(bytes.data(), length));
    if (result.file.status == SccDecodeStatus::kRefused) return Refused(path, result.file.message);
    result.status = SccLoadStatus::kLoaded;
    return result;
  } catch (const std::bad_alloc&) {
    return Refused(path, "there is not enough memory to load it");
  }
}

}  // namespace quorvel
