#include "sim/demo_sim_cards.h"

#include <initializer_list>
#include <string_view>

namespace quorvel {
namespace {

using File = FileSystemCard::File;
using Bytes = std::vector<std::uint8_t>;
constexpr auto kAlways = FileSystemCard::ReadAccess::kAlways;
constexpr auto kPin1 = FileSystemCard::ReadAccess::kPin1;

constexpr std::uint16_t kMf = 0x3F00;
constexpr std::uint16_t kTelecom = 0x7F10;
constexpr std::uint16_t kGsm = 0x7F20;
constexpr std::uint16_t kUsim = 0x7FFF;

// "98 94 20": hex pairs, blanks ignored, then FF up to `size`.
Bytes Hex(std::string_view hex, std::size_t size = 0) {
  Bytes bytes;
  int high = -1;
  for (const char c : hex) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (bytes.size() < size) bytes.resize(size, 0xFF);
  return bytes;
}

File Directory(std::uint16_t id, std::uint16_t parent, Bytes aid = {}) {
  File file;
  file.id = id;
  file.parent = parent;
  file.aid = std::move(aid);
  return file;
}

File Transparent(std::uint16_t id, std::uint16_t parent, FileSystemCard::ReadAccess read,
                 Bytes content) {
  File file;
  file.id = id;
  file.parent = parent;
  file.structure = FileStructure::kTransparent;
  file.read = read;
  file.content = std::move(content);
  return file;
}

// `count` records of `length` bytes: those given (padded with FF), then empty ones.
File Records(std::uint16_t id, std::uint16_t parent, FileSystemCard::ReadAccess read,
             std::size_t length, std::size_t count, std::initializer_list<std::string_view> given) {
  File file;
  file.id = id;
  file.parent = parent;
  file.structure = FileStructure::kLinearFixed;
  file.recordLength = length;
  file.read = read;
  for (const std::string_view record : given) {
    const Bytes bytes = Hex(record, length);
    file.content.insert(file.content.end(), bytes.begin(), bytes.begin() + length);
  }
  file.content.resize(length * count, 0xFF);
  return file;
}

// A free EF.SMS record: status 00, the rest FF.
constexpr std::string_view kFreeMessage = "00";

}  // namespace

std::vector<File> DemoSimFiles() {
  return {
      Directory(kMf, 0),
      // ICCID 8949020000123456788 (Luhn digit 8).
      Transparent(0x2FE2, kMf, kAlways, Hex("98 94 20 00 00 21 43 65 87 F8")),
      Directory(kTelecom, kMf),
      Records(0x6F3A, kTelecom, kPin1, 28, 10,
              {
                  // "Anna Schmidt" +493023125001
                  "41 6E 6E 61 20 53 63 68 6D 69 64 74 FF FF 07 91 94 03 32 21 05 10",
                  // "Café {Mitte}": é and the escaped braces of the default alphabet
                  "43 61 66 05 20 1B 28 4D 69 74 74 65 1B 29 07 91 94 03 32 21 05 20",
                  // "Voicemail" *100#, type of number unknown
                  "56 6F 69 63 65 6D 61 69 6C FF FF FF FF FF 04 81 1A 00 FB",
                  // "Office" 03023125003p12: national, with a pause
                  "4F 66 66 69 63 65 FF FF FF FF FF FF FF FF 08 A1 30 20 13 52 00 C3 21",
              }),
      Records(0x6F3B, kTelecom, kPin1, 28, 5,
              {"48 6F 6D 65 FF FF FF FF FF FF FF FF FF FF 07 91 94 03 32 21 05 40"}),
      Records(0x6F3C, kTelecom, kPin1, 176, 3,
              {
                  // Read; service centre +493023125999; from +493023125001, "See you at 8".
                  "01 07 91 94 03 32 21 95 99 04 0C 91 94 03 32 21 05 10 00 00 52 10 10 21 43 00 "
                  "80 0C D3 72 19 94 7F D7 41 61 3A 08 07",
                  kFreeMessage,
                  kFreeMessage,
              }),
      Records(0x6F40, kTelecom, kPin1, 28, 2,
              {"4D 79 20 6E 75 6D 62 65 72 FF FF FF FF FF 07 91 94 03 32 21 15 00"}),
      Directory(kGsm, kMf),
      // IMSI 262011234567890: MCC 262, MNC 01.
      Transparent(0x6F07, kGsm, kPin1, Hex("08 29 26 10 21 43 65 87 09")),
      Transparent(0x6F20, kGsm, kPin1, Hex("1F 2E 3D 4C 5B 6A 79 88 02")),
      // 262-01, 262-02, 262-03, 232-01, six empty entries.
      Transparent(0x6F30, kGsm, kPin1, Hex("62 F2 10 62 F2 20 62 F2 30 32 F2 10", 30)),
      // Services 1, 2, 4, 7, 9, 12, 17 allocated and activated; 3 and 5 only allocated.
      Transparent(0x6F38, kGsm, kPin1, Hex("DF 31 C3 00 03")),
      Transparent(0x6F46, kGsm, kAlways, Hex("01 51 75 6F 72 76 65 6C 20 4D 6F 62 69 6C 65", 17)),
      Transparent(0x6F7E, kGsm, kPin1, Hex("1A 2B 3C 4D 62 F2 10 1F 40 FF 00")),
      Transparent(0x6FAD, kGsm, kAlways, Hex("00 00 00 02")),
      Transparent(0x6FB7, kGsm, kAlways, Hex("11 F2 FF 11 F0 FF 19 F1 FF", 15)),
  };
}

std::vector<File> DemoUiccFiles() {
  const Bytes usimAid = Hex("A0 00 00 00 87 10 02 FF 33 FF 01 89 00 00 01 00");
  // IMSI 310410123456789: MCC 310, MNC 410.
  const Bytes imsi = Hex("08 39 01 14 10 32 54 76 98");
  const Bytes spn = Hex("02 51 75 6F 72 76 65 6C 20 54 05 6C 05 63 6F 6D", 17);
  const Bytes loci = Hex("C0 FF EE 01 13 00 14 2A 5C FF 00");
  const Bytes ad = Hex("00 00 00 03");
  return {
      Directory(kMf, 0),
      // ICCID 89012601234567890121: 20 digits, Luhn digit 1.
      Transparent(0x2FE2, kMf, kAlways, Hex("98 10 62 10 32 54 76 98 10 12")),
      Records(0x2F00, kMf, kAlways, 32, 2,
              {"61 18 4F 10 A0 00 00 00 87 10 02 FF 33 FF 01 89 00 00 01 00 50 04 55 53 49 4D"}),
      Directory(kTelecom, kMf),
      Records(0x6F3A, kTelecom, kPin1, 30, 10,
              {
                  // "Mailbox" +13125550101
                  "4D 61 69 6C 62 6F 78 FF FF FF FF FF FF FF FF FF 07 91 31 21 55 05 01 F1",
                  // UCS2 (80): "李雷" +861012345678
                  "80 67 4E 96 F7 FF FF FF FF FF FF FF FF FF FF FF 07 91 68 01 21 43 65 87",
                  // UCS2 (81), base 0380: "Ελένη" +302101234567
                  "81 05 07 95 BB AD BD B7 FF FF FF FF FF FF FF FF 07 91 03 12 10 32 54 76",
                  // UCS2 (82), base 0530: "Արամ" +37410123456
                  "82 04 05 30 81 D0 B1 C4 FF FF FF FF FF FF FF FF 07 91 73 14 10 32 54 F6",
                  // "IMEI" *#06#
                  "49 4D 45 49 FF FF FF FF FF FF FF FF FF FF FF FF 04 81 BA 60 FB",
              }),
      Records(0x6F3B, kTelecom, kPin1, 30, 3, {}),
      Records(0x6F3C, kTelecom, kPin1, 176, 2,
              {
                  // To be read; service centre +13125550199; from +13125550101,
                  // "Welcome to Quorvel".
                  "03 07 91 31 21 55 05 91 F9 04 0B 91 31 21 55 05 01 F1 00 00 52 10 10 21 43 00 "
                  "80 12 D7 32 7B FC 6E 97 41 F4 37 28 5A 7F CB ED 65 36",
                  kFreeMessage,
              }),
      Records(0x6F40, kTelecom, kPin1, 30, 1,
              {"4D 79 20 6E 75 6D 62 65 72 FF FF FF FF FF FF FF 07 91 31 21 55 05 21 F3"}),
      Directory(kGsm, kMf),
      Transparent(0x6F07, kGsm, kPin1, imsi),
      // No ciphering key (CKSN 7).
      Transparent(0x6F20, kGsm, kPin1, Hex("FF FF FF FF FF FF FF FF 07")),
      // 310-410, 310-260, six empty entries.
      Transparent(0x6F30, kGsm, kPin1, Hex("13 00 14 13 00 62", 24)),
      // Services 1, 2, 4, 7, 9, 12, 17, 27 allocated and activated; 3 only allocated.
      Transparent(0x6F38, kGsm, kPin1, Hex("DF 30 C3 00 03 00 30")),
      Transparent(0x6F46, kGsm, kAlways, spn),
      Transparent(0x6F7E, kGsm, kPin1, loci),
      Transparent(0x6FAD, kGsm, kAlways, ad),
      Transparent(0x6FB7, kGsm, kAlways, Hex("19 F1 FF 11 F2 FF", 9)),
      Directory(kUsim, kMf, usimAid),
      Transparent(0x6F07, kUsim, kPin1, imsi),
      // Services 2, 10, 12, 15, 19, 21, 27, 33, 34, 38.
      Transparent(0x6F38, kUsim, kPin1, Hex("02 4A 14 04 23")),
      // Nothing enabled: FDN, BDN and ACL off.
      Transparent(0x6F56, kUsim, kPin1, Hex("00")),
      Transparent(0x6F46, kUsim, kAlways, spn),
      Transparent(0x6F7E, kUsim, kPin1, loci),
      Transparent(0x6F73, kUsim, kPin1, Hex("D4 E1 F0 02 3A 5B 7C 13 00 14 2A 5C 07 00")),
      Transparent(0x6FAD, kUsim, kAlways, ad),
      Records(0x6FB7, kUsim, kAlways, 14, 5,
              {
                  "19 F1 FF 45 6D 65 72 67 65 6E 63 79 FF 00",  // 911 "Emergency"
                  "11 F2 FF 45 6D 65 72 67 65 6E 63 79 FF 00",  // 112 "Emergency"
                  "39 F3 FF 50 6F 6C 69 63 65 FF FF FF FF 01",  // 933 "Police": police
                  "41 F0 FF 4D 6F 75 6E 74 61 69 6E FF FF 10",  // 140 "Mountain": mountain rescue
              }),
  };
}

std::unique_ptr<FileSystemCard> MakeDemoSim() {
  return std::make_unique<FileSystemCard>(FileSystemCard::Kind::kGsmSim, DemoSimFiles(),
                                          FileSystemCard::Pin1{false, "1234", 3});
}

std::unique_ptr<FileSystemCard> MakeDemoUicc() {
  return std::make_unique<FileSystemCard>(FileSystemCard::Kind::kUicc, DemoUiccFiles(),
                                          FileSystemCard::Pin1{true, "1234", 3});
}

}  // namespace quorvel
