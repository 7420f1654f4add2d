// SELECT answers of real cards, from the card dumps of the osmocom pySim project
// (tests/card_sanitizer): the sysmoSIM-GR1 SIM (ATR 3B 99 18 00 11 88 22 33 44 55 66 77 60)
// for GSM 11.11 9.2.1, a UICC (ATR 3B 9F 96 80 1F 87 80 31 E0 73 FE 21 1B 67 4A 35 75 30 35 02
// 65 F8) for TS 102 221 11.1.1.3.
#include <gtest/gtest.h>

#include "sim/file_info.h"
#include "sim_test_bytes.h"

namespace quorvel {
namespace {

using testing::Hex;

struct AnswerVector {
  const char* file;
  const char* bytes;
  const char* json;
};

TEST(GsmResponseTest, RealSimAnswers) {
  const AnswerVector vectors[] = {
      {"MF", "0000125c3f000100000000000a9303020c00838a838a00",
       R"x({"type": "MF", "id": "3F00", "free_memory": 4700, "chv1": "disabled", "child_dfs": 3, )x"
       R"x("child_efs": 2, "codes": 12, "chv1_tries_left": 3, "unblock_chv1_tries_left": 10, )x"
       R"x("chv2_tries_left": 3, "unblock_chv2_tries_left": 10})x"},
      {"EF.ICCID", "0000000a2fe2040005ff5501020000",
       R"x({"type": "EF", "id": "2FE2", "size": 10, "access": "read ALW, update ADM5, increase )x"
       R"x(NEV, rehabilitate ADM5, invalidate ADM5", "invalidated": false, "structure": )x"
       R"x("transparent"})x"},
      {"EF.ADN", "00001e466f3a040011f0220102011f",
       R"x({"type": "EF", "id": "6F3A", "size": 7750, "access": "read CHV1, update CHV1, )x"
       R"x(increase NEV, rehabilitate CHV2, invalidate CHV2", "invalidated": false, )x"
       R"x("structure": "linear fixed", "record_length": 31, "records": 250})x"},
      {"MF, cut before the CHV status", "0000125c3f000100000000000a9303020c",
       R"x({"type": "MF", "id": "3F00", "free_memory": 4700, "chv1": "disabled", "child_dfs": 3, )x"
       R"x("child_efs": 2, "codes": 12, "notes": ["the answer ends before the last CHV status )x"
       R"x(byte"]})x"},
      {"not an answer", "0000125c", R"x({"notes": ["4 bytes: too few for a SELECT answer"]})x"},
  };
  for (const AnswerVector& v : vectors) {
    EXPECT_EQ(DecodedJson(ParseGsmResponse(Hex(v.bytes)).decoded), v.json) << v.file;
  }
  const FileInfo mf = ParseGsmResponse(Hex(vectors[0].bytes));
  ASSERT_EQ(mf.pins.size(), 2u);
  EXPECT_FALSE(mf.pins[0].enabled);
  EXPECT_EQ(mf.pins[0].triesLeft, 3);
  const FileInfo adn = ParseGsmResponse(Hex(vectors[2].bytes));
  EXPECT_EQ(adn.readCondition, 1);
  EXPECT_EQ(adn.recordCount, 250u);
}

TEST(FcpTest, RealUiccAnswersWithTagsReadAtTheirOwnLevel) {
  const AnswerVector vectors[] = {
      // A5 holds its own 80 (UICC characteristics) and 83 (available memory), C6 its own 83
      // (key references): neither is the file size or the file id.
      {"MF",
       "62308202782183023f00a50c8001718304000564508701018a01058c04261a0000c60f90017083010183018"
       "183010a83010b",
       R"x({"type": "MF", "id": "3F00", "life_cycle": "operational, activated", "access": )x"
       R"x("compact: 26 1A 00 00", "shareable": true, "uicc_characteristics": "71", )x"
       R"x("available_memory": 353360, "pins": {"PIN1": "disabled", "PIN2": "enabled", "ADM1": )x"
       R"x("enabled", "ADM2": "enabled"}})x"},
      {"EF.IMSI", "621e8202412183026f07a506d00130d2010f8a01058b036f0603800200098800",
       R"x({"type": "EF", "id": "6F07", "structure": "transparent", "size": 9, "life_cycle": )x"
       R"x("operational, activated", "access": "rules in EF.ARR 6F06, record 3", "shareable": )x"
       R"x(true})x"},
      {"EF.ACM", "62218205462100031483026f39a506d00110d2010f8a01058b036f06058002003c8800",
       R"x({"type": "EF", "id": "6F39", "structure": "cyclic", "size": 60, "record_length": 3, )x"
       R"x("records": 20, "life_cycle": "operational, activated", "access": "rules in EF.ARR )x"
       R"x(6F06, record 5", "shareable": true})x"},
      {"EF.EHPLMN, deactivated",
       "621f8202412183026fd9a506d00120d2010f8a01048b036f06038002000c8801e8",
       R"x({"type": "EF", "id": "6FD9", "structure": "transparent", "size": 12, "life_cycle": )x"
       R"x("operational, deactivated", "access": "rules in EF.ARR 6F06, record 3", "shareable": )x"
       R"x(true, "sfi": 29})x"},
      {"cut inside a tag", "621e820241218302",
       R"x({"type": "EF", "structure": "transparent", "shareable": true, "notes": ["the template )x"
       R"x(announces 30 bytes, 6 follow", "the template ends inside a data object"]})x"},
      {"no template", "6f0783023f00",
       R"x({"notes": ["not an FCP template )x"
       R"x((62)"]})x"},
  };
  for (const AnswerVector& v : vectors) {
    EXPECT_EQ(DecodedJson(ParseFcp(Hex(v.bytes)).decoded), v.json) << v.file;
  }
  const FileInfo acm = ParseFcp(Hex(vectors[2].bytes));
  EXPECT_EQ(acm.structure, FileStructure::kCyclic);
  EXPECT_EQ(acm.recordCount, 20u);
  EXPECT_TRUE(ParseFcp(Hex(vectors[3].bytes)).invalidated);
}

}  // namespace
}  // namespace quorvel
