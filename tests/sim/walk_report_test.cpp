#include "sim/walk_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/demo_sim_cards.h"
#include "sim/file_walker.h"
#include "support/application_card_access.h"

namespace quorvel {
namespace {

using ::testing::Contains;

CardWalk Walk(std::unique_ptr<FileSystemCard> card) {
  testing::ApplicationCardAccess access(*card);
  return WalkCard(access);
}

const WalkedFile& FileAt(const CardWalk& walk, const std::string& path) {
  return *std::find_if(walk.files.begin(), walk.files.end(),
                       [&](const WalkedFile& file) { return file.path == path; });
}

TEST(WalkReportTest, TheTreeShowsEachFileWithItsDecodedFieldsAndBytes) {
  const std::vector<std::string> lines = WalkTreeLines(Walk(MakeDemoSim()));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "GSM SIM: 17 files, 63 exchanges");
  for (const char* line : {
           "3F00 MF  MF, selected",
           "    chv1: disabled",
           "  2F00 EF.DIR  absent (94 04)",
           "    6F3A EF.ADN  linear fixed, 10 records of 28 bytes, read",
           "        record 3: 56 6F 69 63 65 6D 61 69 6C FF FF FF FF FF 04 81 1A 00 FB and 9 "
           "bytes FF",
           "          number: *100#",
           "        records 5 to 10: empty",
           "    6F07 EF.IMSI  transparent, 9 bytes, read",
           "        mnc: 01",
           "        raw: 08 29 26 10 21 43 65 87 09",
       }) {
    EXPECT_THAT(lines, Contains(line));
  }
}

TEST(WalkReportTest, OneJsonObjectAFile) {
  const CardWalk sim = Walk(MakeDemoSim());
  EXPECT_EQ(
      WalkedFileJson(FileAt(sim, "3F00/7F20/6F07")),
      R"x({"path": "3F00/7F20/6F07", "name": "EF.IMSI", "app": "GSM", "structure": )x"
      R"x("transparent", "size": 9, "record_length": null, "access": "read CHV1, update )x"
      R"x(CHV1, increase NEV, rehabilitate ADM4, invalidate ADM4", "status": "read", "raw": )x"
      R"x("08 29 26 10 21 43 65 87 09", "decoded": {"imsi": "262011234567890", "mcc": )x"
      R"x("262", "mnc": "01", "msin": "1234567890"}})x");
  EXPECT_EQ(WalkedFileJson(FileAt(sim, "3F00/2F00")),
            R"x({"path": "3F00/2F00", "name": "EF.DIR", "app": "MF", "structure": "EF", "size": )x"
            R"x(null, "record_length": null, "access": null, "status": "absent (94 04)", "raw": )x"
            R"x(null, "decoded": null})x");
  const CardWalk uicc = Walk(MakeDemoUicc());
  EXPECT_EQ(
      WalkedFileJson(FileAt(uicc, "3F00/7F10/6F3B")),
      R"x({"path": "3F00/7F10/6F3B", "name": "EF.FDN", "app": "TELECOM", "structure": )x"
      R"x("linear fixed", "size": 90, "record_length": 30, "access": "rules in EF.ARR 6F06, )x"
      R"x(record 2", "status": "needs PIN1 (69 82)", "raw": null, "decoded": null})x");
  EXPECT_THAT(
      WalkedFileJson(FileAt(uicc, "3F00/2F00")),
      ::testing::StartsWith(
          R"x({"path": "3F00/2F00", "name": "EF.DIR", "app": "MF", "structure": "linear fixed", )x"
          R"x("size": 64, "record_length": 32, "access": "rules in EF.ARR 2F06, record 1", )x"
          R"x("status": "read", "raw": ["61 18 4F 10 A0 00 00 00 87 10 02 FF 33 FF 01 89 00 00 )x"
          R"x(01 00 50 04 55 53 49 4D FF FF FF FF FF FF", "FF FF)x"));
}

}  // namespace
}  // namespace quorvel
