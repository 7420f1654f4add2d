#include "sim/decoded.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/file_info.h"
#include "sim/tlv.h"
#include "sim_test_bytes.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;

TEST(DecodedTest, RendersAsJsonAndAsIndentedLines) {
  Decoded value;
  value.Add("plmn_name", "Quorvel \"Q\"")
      .Add("tries", Decoded::Number(3))
      .Add("enabled", Decoded::Flag(false))
      .Add("codes", Decoded::List().Append(Decoded::Text("112")).Append(Decoded::Text("911")))
      .Add("records",
           Decoded::List().Append(Decoded().Add("record", Decoded::Number(1)).Add("alpha", "Home")))
      .Add("area", Decoded().Add("lac", "1F40"))
      .Add("services", Decoded())
      .Note("cut short");
  EXPECT_EQ(DecodedJson(value),
            R"x({"plmn_name": "Quorvel \"Q\"", "tries": 3, "enabled": false, "codes": ["112", )x"
            R"x("911"], "records": [{"record": 1, "alpha": "Home"}], "area": {"lac": "1F40"}, )x"
            R"x("services": {}, "notes": ["cut short"]})x");
  EXPECT_THAT(DecodedLines(value),
              ElementsAre("plmn name: Quorvel \"Q\"", "tries: 3", "enabled: no", "codes:",
                          "  - 112", "  - 911", "records:", "  - record: 1", "    alpha: Home",
                          "area:", "  lac: 1F40", "services: none", "note: cut short"));
}

TEST(TlvTest, ReadsTagsAndLengthsOfEveryFormAndStopsWhereTheBytesEnd) {
  struct Case {
    const char* bytes;
    std::uint32_t tag;   // 0: nothing read
    std::size_t length;  // of the value
    std::size_t next;    // offset after it
  };
  const Case cases[] = {
      {"83 02 3F 00", 0x83, 2, 4},
      {"5F 2D 02 65 6E", 0x5F2D, 2, 5},    // a two-byte tag
      {"DF 81 01 01 AA", 0xDF8101, 1, 5},  // a three-byte tag
      {"C6 81 02 90 01", 0xC6, 2, 5},      // length after 81
      {"A5 82 00 01 00", 0xA5, 1, 5},      // length after 82
      {"83 05 3F 00", 0, 0, 0},            // the value is cut
      {"5F", 0, 0, 0},                     // the tag is cut
      {"83 80 00", 0, 0, 0},               // an indefinite length
      {"FF FF", 0, 0, 0},                  // padding
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> bytes = testing::Hex(c.bytes);
    std::size_t offset = 0;
    const auto tlv = ReadTlv(bytes, offset);
    EXPECT_EQ(tlv ? tlv->tag : 0u, c.tag) << c.bytes;
    EXPECT_EQ(tlv ? tlv->value.size() : 0u, c.length) << c.bytes;
    EXPECT_EQ(offset, c.next) << c.bytes;
  }
}

TEST(PinNameTest, KeyReferencesOfTs102221AndTheSimsChvs) {
  EXPECT_EQ(PinName(0x01, true), "CHV1");
  EXPECT_EQ(PinName(0x02, true), "CHV2");
  EXPECT_EQ(PinName(0x01, false), "PIN1");
  EXPECT_EQ(PinName(0x81, false), "PIN2");
  EXPECT_EQ(PinName(0x11, false), "universal PIN");
  EXPECT_EQ(PinName(0x0A, false), "ADM1");
  EXPECT_EQ(PinName(0x8A, false), "ADM6");
  EXPECT_EQ(PinName(0x30, false), "key 30");
}

}  // namespace
}  // namespace quorvel
