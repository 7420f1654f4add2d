#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/hex_bytes.h"
#include "support/temp_folder.h"
#include "trace/gsmtap_packet.h"
#include "trace/gsmtap_target.h"
#include "trace/pcap_file.h"
#include "trace/udp_datagram.h"

namespace quorvel {
namespace {

using testing::HexBytes;

std::chrono::system_clock::time_point At(std::int64_t microseconds) {
  return std::chrono::system_clock::time_point(std::chrono::microseconds(microseconds));
}

// RFC 1071: its worked example, an odd length, and the sums that fold to FFFF.
TEST(TraceFramingTest, InternetChecksum) {
  const struct {
    const char* bytes;
    std::uint16_t checksum;
  } cases[] = {
      {"00 01 F2 03 F4 F5 F6 F7", 0x220D},
      {"01", 0xFEFF},
      {"", 0xFFFF},
      {"FF FF", 0x0000},
      {"80 00 80 00", 0xFFFE},
  };
  for (const auto& c : cases) EXPECT_EQ(InternetChecksum(HexBytes(c.bytes)), c.checksum) << c.bytes;
}

// A SELECT answered 90 00, byte for byte as Wireshark reads it from the loopback interface;
// both checksums verify to 0 over what they cover.
TEST(TraceFramingTest, AKnownPacketInGsmtapUdpAndIpv4) {
  const auto gsmtap = GsmtapSimPacket(SimPacketKind::kApdu, HexBytes("00 A4 00 0C 02 7F 10 90 00"));
  UdpEndpoints ends;
  ends.sourcePort = ends.destinationPort = kGsmtapPort;
  const auto datagram = Ipv4UdpDatagram(gsmtap, ends, 7);
  EXPECT_EQ(datagram, HexBytes("45 00 00 35 00 07 40 00 40 11 3C AF 7F 00 00 01 7F 00 00 01 "
                               "12 79 12 79 00 21 C2 F4 "
                               "02 04 04 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                               "00 A4 00 0C 02 7F 10 90 00"));
  EXPECT_EQ(InternetChecksum(std::span(datagram).first(20)), 0);
  std::vector<std::uint8_t> pseudo = {127, 0, 0, 1, 127, 0, 0, 1, 0, 17, 0, 33};
  pseudo.insert(pseudo.end(), datagram.begin() + 20, datagram.end());
  EXPECT_EQ(InternetChecksum(pseudo), 0);
}

// A UDP checksum that comes out 0 is sent as FFFF: 0 would say there is none. A payload
// equal to the checksum of an empty one makes the sum FFFF.
TEST(TraceFramingTest, AUdpChecksumOfZeroIsWrittenAsAllOnes) {
  const UdpEndpoints ends;
  const auto empty = Ipv4UdpDatagram(HexBytes("00 00"), ends, 0);
  const auto zero = Ipv4UdpDatagram(std::span(empty).subspan(26, 2), ends, 0);
  EXPECT_EQ(zero[26], 0xFF);
  EXPECT_EQ(zero[27], 0xFF);
}

TEST(TraceFramingTest, PcapHeadersAreLittleEndianWithMicroseconds) {
  const auto file = PcapFileHeader();
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.end()),
            HexBytes("D4 C3 B2 A1 02 00 04 00 00 00 00 00 00 00 00 00 FF FF 00 00 65 00 00 00"));
  // 2023-11-14 22:13:20.123456 UTC; nanoseconds beyond the microsecond are dropped.
  const auto at = At(1'700'000'000'123'456) + std::chrono::nanoseconds(999);
  const auto record = PcapRecordHeader(at, 0x35);
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin(), record.end()),
            HexBytes("00 F1 53 65 40 E2 01 00 35 00 00 00 35 00 00 00"));
}

TEST(TraceFramingTest, APcapFileHoldsEachPacketWholeAsItIsWritten) {
  testing::TempFolder folder;
  const std::string path = folder / "s.pcap";
  PcapFile file;
  ASSERT_TRUE(file.Create(path));
  const auto atr = GsmtapSimPacket(SimPacketKind::kAtr, HexBytes("3B 00"));
  file.Write(At(1'000'000), atr);
  // Written at once: read while the file is still open.
  std::string content = testing::ReadFileBytes(path);
  ASSERT_EQ(content.size(), 24u + 16u + 28u + atr.size());
  EXPECT_EQ(content.substr(content.size() - atr.size()), std::string(atr.begin(), atr.end()));
  file.Write(At(2'000'000), atr);
  EXPECT_EQ(testing::ReadFileBytes(path).size(), 24u + 2 * (16u + 28u + atr.size()));
  EXPECT_EQ(file.writeError(), 0);
  // The second datagram has an identification of its own.
  EXPECT_EQ(testing::ReadFileBytes(path)[24 + 16 + 28 + atr.size() + 16 + 5], 1);
}

TEST(TraceFramingTest, AFileThatCannotBeCreatedSaysWhy) {
  testing::TempFolder folder;
  PcapFile file;
  EXPECT_FALSE(file.Create(folder.path().string()));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(file.Create("/dev/full"));  // the header does not go through
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_FALSE(file.IsOpen());
}

TEST(TraceFramingTest, GsmtapTargets) {
  const struct {
    const char* text;
    const char* host;  // nullptr: refused
    std::uint16_t port;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1", 4729},
      {"localhost:5000", "localhost", 5000},
      {"10.0.0.2:65535", "10.0.0.2", 65535},
      {"host:0", nullptr, 0},
      {"host:65536", nullptr, 0},
      {"host:", nullptr, 0},
      {"host:12x", nullptr, 0},
      {":4729", nullptr, 0},
      {"", nullptr, 0},
      {"::1", nullptr, 0},
  };
  for (const auto& c : cases) {
    const GsmtapTargetParse parse = ParseGsmtapTarget(c.text);
    ASSERT_EQ(parse.target.has_value(), c.host != nullptr) << c.text;
    if (!parse.target) {
      EXPECT_NE(parse.error.find("--gsmtap"), std::string::npos) << c.text;
      continue;
    }
    EXPECT_EQ(parse.target->host, c.host);
    EXPECT_EQ(parse.target->port, c.port);
  }
}

}  // namespace
}  // namespace quorvel
