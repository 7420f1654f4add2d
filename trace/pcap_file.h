#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "trace/trace_sink.h"
#include "trace/udp_datagram.h"

namespace quorvel {

// The classic libpcap file: little-endian, microsecond timestamps, whole packets of raw IPv4
// (LINKTYPE_RAW, which every Wireshark opens without settings).
inline constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;
inline constexpr std::uint32_t kLinkTypeRaw = 101;
inline constexpr std::uint32_t kPcapSnapLength = 65535;
inline constexpr std::size_t kPcapFileHeaderBytes = 24;
inline constexpr std::size_t kPcapRecordHeaderBytes = 16;

std::array<std::uint8_t, kPcapFileHeaderBytes> PcapFileHeader();
// A packet's record header: seconds and microseconds since 1970 (UTC), its length twice.
std::array<std::uint8_t, kPcapRecordHeaderBytes> PcapRecordHeader(
    std::chrono::system_clock::time_point at, std::uint32_t length);

// A trace file: each GSMTAP packet in UDP from 127.0.0.1 to 127.0.0.1:4729, written with
// its record header in one write as it comes, so a process killed at any point leaves a
// file that opens with every packet written before. A write that fails part-way is cut
// back off the file, and nothing more is written after it.
class PcapFile final : public TraceSink {
 public:
  PcapFile() = default;
  ~PcapFile() override;
  PcapFile(const PcapFile&) = delete;
  PcapFile& operator=(const PcapFile&) = delete;

  // Creates the file anew (following a symbolic link, as a name the user chose) and writes
  // the file header; false, with errno set, when either fails.
  bool Create(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  void Write(std::chrono::system_clock::time_point at,
             std::span<const std::uint8_t> gsmtap) override;
  int writeError() const override { return write_error_; }

 private:
  int fd_ = -1;
  int write_error_ = 0;
  std::uint64_t length_ = 0;  // bytes in the file, every one written whole
  std::uint16_t identification_ = 0;
};

}  // namespace quorvel
