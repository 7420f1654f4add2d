#include "trace/pcap_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "files/whole_write.h"
#include "trace/gsmtap_packet.h"

namespace quorvel {
namespace {

template <std::size_t N>
void PutLittleEndian32(std::array<std::uint8_t, N>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Writes all of `bytes`, through interrupted and partial writes; false with errno set.
}  // namespace

std::array<std::uint8_t, kPcapFileHeaderBytes> PcapFileHeader() {
  std::array<std::uint8_t, kPcapFileHeaderBytes> header{};
  PutLittleEndian32(header, 0, kPcapMagic);
  header[4] = 2;  // version 2.4
  header[6] = 4;
  // time zone and accuracy stay 0
  PutLittleEndian32(header, 16, kPcapSnapLength);
  PutLittleEndian32(header, 20, kLinkTypeRaw);
  return header;
}

std::array<std::uint8_t, kPcapRecordHeaderBytes> PcapRecordHeader(
    std::chrono::system_clock::time_point at, std::uint32_t length) {
  const auto since1970 = at.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since1970);
  const auto micros = std::chrono::floor<std::chrono::microseconds>(since1970 - seconds);
  std::array<std::uint8_t, kPcapRecordHeaderBytes> header{};
  PutLittleEndian32(header, 0, static_cast<std::uint32_t>(seconds.count()));
  PutLittleEndian32(header, 4, static_cast<std::uint32_t>(micros.count()));
  PutLittleEndian32(header, 8, length);
  PutLittleEndian32(header, 12, length);
  return header;
}

PcapFile::~PcapFile() {
  Close();
}

bool PcapFile::Create(const std::string& path) {
  Close();
  write_error_ = 0;
  length_ = 0;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  const auto header = PcapFileHeader();
  if (!WriteWhole(fd_, header.data(), header.size())) {
    const int error = errno;
    Close();
    errno = error;
    return false;
  }
  length_ = header.size();
  return true;
}

void PcapFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PcapFile::Write(std::chrono::system_clock::time_point at,
                     std::span<const std::uint8_t> gsmtap) {
  if (fd_ < 0 || write_error_ != 0) return;
  UdpEndpoints ends;
  ends.sourcePort = kGsmtapPort;
  ends.destinationPort = kGsmtapPort;
  const std::vector<std::uint8_t> datagram = Ipv4UdpDatagram(gsmtap, ends, identification_++);
  const auto header = PcapRecordHeader(at, static_cast<std::uint32_t>(datagram.size()));
  std::vector<std::uint8_t> record(header.begin(), header.end());
  record.insert(record.end(), datagram.begin(), datagram.end());
  if (WriteWhole(fd_, record.data(), record.size())) {
    length_ += record.size();
    return;
  }
  write_error_ = errno;
  // A record cut short would make readers stop at it with an error; the file ends at the
  // last whole one instead.
  const bool cutBack = ::ftruncate(fd_, static_cast<off_t>(length_)) == 0;
  (void)cutBack;  // the write's error is the one to tell
}

}  // namespace quorvel
