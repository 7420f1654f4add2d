#include "commands/command_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Optional;

CardCommand ToCard(std::uint8_t p3) {
  CardCommand command = NewCardCommand();
  command.header[4] = p3;
  command.direction = kToCard;
  return command;
}

std::vector<std::uint8_t> DataOf(const CardCommand& command, unsigned count) {
  return std::vector<std::uint8_t>(command.data, command.data + count);
}

TEST(CommandTextFormat, HeaderIsFiveUpperCaseBytes) {
  CardCommand command = NewCardCommand();
  const std::uint8_t header[5] = {0xA0, 0xA4, 0x00, 0x0F, 0xFF};
  std::memcpy(command.header, header, 5);
  EXPECT_EQ(FormatHeaderText(command), "A0 A4 00 0F FF");
}

TEST(CommandTextFormat, DataTextHasEightBytesToALineEachLineEndedByCrLf) {
  std::uint8_t data[255];
  for (int i = 0; i < 255; ++i) data[i] = static_cast<std::uint8_t>(i);

  EXPECT_EQ(FormatDataText(data, 0), "");
  EXPECT_EQ(FormatDataText(data + 0x3E, 1), "3E \r\n");
  EXPECT_EQ(FormatDataText(data, 8), "00 01 02 03 04 05 06 07 \r\n");
  EXPECT_EQ(FormatDataText(data, 10), "00 01 02 03 04 05 06 07 \r\n08 09 \r\n");

  const std::string all = FormatDataText(data, 255);
  EXPECT_EQ(all.size(), 829u);
  std::size_t lines = 0;
  for (std::size_t at = all.find("\r\n"); at != std::string::npos; at = all.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, 32u);
  EXPECT_EQ(all.substr(all.size() - 23), "F8 F9 FA FB FC FD FE \r\n");
}

TEST(AcceptEditedCommand, StoresHeaderAndDataBytesOfAToCardCommand) {
  for (const char* data : {"3F 00", "3F00", "3F\r\n00", "  3F\n00 \r\n", "3f 00"}) {
    CardCommand command = ToCard(0);
    EXPECT_EQ(AcceptEditedCommand(command, "A0 A4 00 00 02", "select", data), std::nullopt) << data;
    EXPECT_THAT(command.header, ElementsAre(0xA0, 0xA4, 0x00, 0x00, 0x02));
    EXPECT_THAT(DataOf(command, 2), ElementsAre(0x3F, 0x00)) << data;
    EXPECT_STREQ(command.comment, "select");
  }
}

TEST(AcceptEditedCommand, ReadsSingleDigitsAndSplitsLongRunsIntoPairs) {
  CardCommand command = ToCard(0);
  EXPECT_EQ(AcceptEditedCommand(command, "00 B0 00 00 03", "", "1 2 3"), std::nullopt);
  EXPECT_THAT(DataOf(command, 3), ElementsAre(0x01, 0x02, 0x03));

  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "ABC"), std::nullopt);
  EXPECT_THAT(DataOf(command, 2), ElementsAre(0xAB, 0x0C));

  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "A\nB"), std::nullopt);
  EXPECT_THAT(DataOf(command, 2), ElementsAre(0x0A, 0x0B));
}

TEST(AcceptEditedCommand, HeaderTakesTheLowByteOfEachNumber) {
  CardCommand command = NewCardCommand();
  EXPECT_EQ(AcceptEditedCommand(command, "A0A4 0x12 1 FFFFFFFF 0 trailing", "", ""), std::nullopt);
  EXPECT_THAT(command.header, ElementsAre(0xA4, 0x12, 0x01, 0xFF, 0x00));
  EXPECT_EQ(AcceptEditedCommand(command, "a0\ta4\n00   00 02", "", ""), std::nullopt);
  EXPECT_THAT(command.header, ElementsAre(0xA0, 0xA4, 0x00, 0x00, 0x02));
}

TEST(AcceptEditedCommand, RefusesAHeaderWithFewerThanFiveNumbers) {
  CardCommand command = NewCardCommand();
  command.header[0] = 0x11;
  EXPECT_THAT(AcceptEditedCommand(command, "A0 A4 00", "", ""),
              Optional(HasSubstr("P2 and P3 are missing")));
  EXPECT_THAT(AcceptEditedCommand(command, "A0 A4 00 00", "", ""),
              Optional(HasSubstr("P3 is missing")));
  EXPECT_THAT(AcceptEditedCommand(command, "", "", ""),
              Optional(HasSubstr("CLA, INS, P1, P2 and P3 are missing")));
  EXPECT_THAT(AcceptEditedCommand(command, "A0 zz 00 00 02", "", ""),
              Optional(HasSubstr("INS, P1, P2 and P3 are missing")));
  EXPECT_EQ(command.header[0], 0x11) << "a refused header stores nothing";
}

TEST(AcceptEditedCommand, CountsDataBytesAgainstP3) {
  CardCommand command = ToCard(0);
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 05", "", "01 02"),
            "P3 (05) > command msg size (02)!");
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "01 02 03"),
            "P3 (02) < command msg size!");
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 1A", "", ""),
            "P3 (1A) > command msg size (00)!");
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", " \r\n "),
            "P3 (02) > command msg size (00)!");
}

TEST(AcceptEditedCommand, ARefusedOkKeepsWhatItStoredBeforeItsChecks) {
  CardCommand command = ToCard(0);
  EXPECT_TRUE(AcceptEditedCommand(command, "00 D6 00 00 03", "kept", "AA BB").has_value());
  EXPECT_EQ(command.p3(), 3);
  EXPECT_STREQ(command.comment, "kept");
  EXPECT_THAT(DataOf(command, 2), ElementsAre(0xAA, 0xBB));
}

TEST(AcceptEditedCommand, RefusesADataPairThatIsNotHexadecimal) {
  CardCommand command = ToCard(0);
  command.data[1] = 0x55;
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 03", "", "01 ZZ 03"),
            "Command msg byte 2 (\"ZZ\") is not a hexadecimal number!");
  EXPECT_EQ(command.data[1], 0x55) << "no invented byte";
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "G1 00"),
            "Command msg byte 1 (\"G1\") is not a hexadecimal number!");
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "01 -1"),
            "Command msg byte 2 (\"-1\") is not a hexadecimal number!");
  EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", "01 Z"),
            "Command msg byte 2 (\"Z\") is not a hexadecimal number!");
}

TEST(AcceptEditedCommand, ARefusedPairIsQuotedInWholeCharactersWhicheverHalfIsWrong) {
  struct Case {
    const char* data;
    const char* quoted;
  };
  const std::string notUtf8{'\xFF', '1'};
  for (const Case c :
       {Case{"3G", "3G"}, Case{"0x12", "0x"}, Case{"3€", "3€"}, Case{"€", "€"}, Case{"€3", "€3"},
        Case{"ä 1", "ä"}, Case{notUtf8.c_str(), notUtf8.c_str()}}) {
    CardCommand command = ToCard(0);
    EXPECT_EQ(AcceptEditedCommand(command, "00 D6 00 00 02", "", c.data),
              std::string("Command msg byte 1 (\"") + c.quoted + "\") is not a hexadecimal number!")
        << c.data;
  }
}

TEST(AcceptEditedCommand, ToCardWithP3ZeroIgnoresTheDataText) {
  CardCommand command = ToCard(0);
  command.data[0] = 0x42;
  EXPECT_EQ(AcceptEditedCommand(command, "00 A4 00 00 00", "", "whatever ZZ"), std::nullopt);
  EXPECT_EQ(command.data[0], 0x42);
}

TEST(AcceptEditedCommand, FromCardNeedsAnEmptyDataBoxWhateverP3) {
  CardCommand command = NewCardCommand();
  command.data[0] = 0x42;
  EXPECT_EQ(AcceptEditedCommand(command, "00 B0 00 00 10", "", ""), std::nullopt);
  EXPECT_EQ(command.data[0], 0x42);
  EXPECT_EQ(AcceptEditedCommand(command, "00 B0 00 00 10", "", " "),
            "Command msg size != 0 while from smartcard?!?");
  EXPECT_EQ(AcceptEditedCommand(command, "00 B0 00 00 00", "", "\r\n"),
            "Command msg size != 0 while from smartcard?!?");
}

TEST(AcceptEditedCommand, OtherDirectionsAreAcceptedWithoutLookingAtTheData) {
  CardCommand command = NewCardCommand();
  command.direction = 7;
  EXPECT_EQ(AcceptEditedCommand(command, "00 B0 00 00 02", "", "not data"), std::nullopt);
  EXPECT_EQ(command.direction, 7);
}

TEST(AcceptEditedCommand, CommentIsCutTo63CharactersKeepingTheBytesAfterItsZero) {
  CardCommand command = NewCardCommand();
  std::memset(command.comment, 'x', sizeof command.comment);
  EXPECT_EQ(AcceptEditedCommand(command, "0 0 0 0 0", std::string(70, 'c'), ""), std::nullopt);
  EXPECT_EQ(std::string(command.comment), std::string(63, 'c'));

  EXPECT_EQ(AcceptEditedCommand(command, "0 0 0 0 0", "short", ""), std::nullopt);
  EXPECT_STREQ(command.comment, "short");
  EXPECT_EQ(command.comment[6], 'c') << "bytes after the zero are left as they were";
}

TEST(AcceptEditedCommand, CommentCutNeverSplitsAUtf8Character) {
  CardCommand command = NewCardCommand();
  const std::string comment = std::string(62, 'a') + "\xC3\xA9" + "tail";  // e acute at 62..63
  EXPECT_EQ(AcceptEditedCommand(command, "0 0 0 0 0", comment, ""), std::nullopt);
  EXPECT_EQ(std::string(command.comment), std::string(62, 'a'));
}

TEST(AcceptEditedCommand, AcceptedDataTextReadsBackTheSameBytes) {
  CardCommand command = ToCard(255);
  for (int i = 0; i < 255; ++i) command.data[i] = static_cast<std::uint8_t>(255 - i);
  const std::vector<std::uint8_t> before = DataOf(command, 255);
  const std::string text = FormatDataText(command.data, 255);
  std::memset(command.data, 0, sizeof command.data);
  EXPECT_EQ(AcceptEditedCommand(command, FormatHeaderText(command), "", text), std::nullopt);
  EXPECT_THAT(DataOf(command, 255), ElementsAreArray(before));
}

}  // namespace
}  // namespace quorvel
