#include "commands/script_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "commands/script_scc.h"
#include "commands/script_writer.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;

// The steps of a script as the writer writes them back, or its error.
std::string StepsWritten(std::string_view text) {
  const ScriptReadResult read = ReadScriptText(text, "s.txt");
  if (!read.script) return "error: " + read.error;
  const std::string written = WriteScriptText(*read.script);
  const std::size_t steps = written.find("\n\n");
  return steps == std::string::npos ? "" : written.substr(steps + 2);
}

std::string Repeated(std::string_view unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

TEST(ScriptReader, ReadsNativeLinesAndApduCasesAsCommands) {
  struct Case {
    const char* line;
    const char* written;
  } cases[] = {
      {"00 A4 00 0C 02 > 7F 10", "00 A4 00 0C 02 > 7F 10\n"},
      {"00a4000c02>7f10", "00 A4 00 0C 02 > 7F 10\n"},
      {"\t00 B0 00 00 0A <\r", "00 B0 00 00 0A <\n"},
      {"00 D6 00 00 00 >", "00 D6 00 00 00 >\n"},
      // ISO/IEC 7816-3 command cases: 1, 2, 3, 4 (its Le kept), and Le 00.
      {"00 A4 00 00", "00 A4 00 00 00 >\n"},
      {"00 B0 00 00 0A", "00 B0 00 00 0A <\n"},
      {"00 A4 04 00 02 3F 00", "00 A4 04 00 02 > 3F 00\n"},
      {"00 A4 04 00 02 3F 00 00", "00 A4 04 00 02 > 3F 00 Le 00\n"},
      {"00 C0 00 00 00", "00 C0 00 00 00 <\n"},
      // Expected answers, spelled out in one way.
      {"00 A4 00 00 02 3F 00 (90 00, 61 xx) # select MF",
       "00 A4 00 00 02 > 3F 00 (90 00, 61 XX) # select MF\n"},
      {"00 B0 00 00 02 < [xx 0x](6X XX)", "00 B0 00 00 02 < (6X XX) [XX 0X]\n"},
      {"00 B0 00 00 00 < (9000,6100)[]", "00 B0 00 00 00 < (90 00, 61 00) []\n"},
      // Comments: blanks around dropped, quoted ones unescaped, others as they stand.
      {"00 B0 00 00 00 < #   padded  ", "00 B0 00 00 00 < # padded\n"},
      {"00 B0 00 00 00 < # \"  quoted \\x41\\\\ \\\"x\\\"\"",
       "00 B0 00 00 00 < # \"  quoted A\\\\ \\\"x\\\"\"\n"},
      {"00 B0 00 00 00 < #\"abc\" def", "00 B0 00 00 00 < # \"\\\"abc\\\" def\"\n"},
      {"00 B0 00 00 00 < # a # b \\x41", "00 B0 00 00 00 < # a # b \\x41\n"},
      {"reset # the card again", "reset\n"},
      {"00 B0 00 00 00 <\n  at 88: 91 00 # reserved", "00 B0 00 00 00 <\n  at 88: 91\n"},
      // scriptor's spellings: RESET in any case, exit ending the script, a trailing "\"
      // going on on the next line; lines ended by CR alone.
      {"RESET\nReset", "reset\nreset\n"},
      {"00 B0 00 00 00 <\nExit # done\nnot read", "00 B0 00 00 00 <\n"},
      {"00 A4 00 0C \\\n 02 7F\\\n10", "00 A4 00 0C 02 > 7F 10\n"},
      {"reset\r00 B0 00 00 00 <\r\rreset\r\n", "reset\n00 B0 00 00 00 <\nreset\n"},
      // A case 4 Le on a line with its direction.
      {"00 a4 04 00 02 > 3F 00 le 1c (61 XX)", "00 A4 04 00 02 > 3F 00 Le 1C (61 XX)\n"},
      // Comment lines of their own stay where they are; one never goes on to the next line.
      {"# select\n00 B0 00 00 00 <\n  #  then \\\nreset\n# end ",
       "# select\n00 B0 00 00 00 <\n#  then \\\nreset\n# end\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(StepsWritten(c.line), c.written) << c.line;
}

TEST(ScriptReader, RefusesBadLinesNamingLineColumnAndWhatWasExpected) {
  const std::string bytes300 = "00 D6 00 00 FF " + Repeated("00 ", 300);
  const std::string native256 = "00 D6 00 00 FF > " + Repeated("00 ", 256);
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"00 A4 G3 00", "s.txt:1:7: expected a hex byte, found \"G3\""},
      {"00 A4 0", "s.txt:1:7: expected a hex byte, found \"0\""},
      {"# c\r\n\r\n00 A4 G3 00\r\n", "s.txt:3:7: expected a hex byte, found \"G3\""},
      {"hello", "s.txt:1:1: expected a command (hex bytes), reset or a setting, found \"hello\""},
      {"(90 00)", "s.txt:1:1: expected a command (hex bytes), reset or a setting, found \"(90\""},
      {"00 A4 00 > 3F",
       "s.txt:1:10: expected 5 header bytes (CLA INS P1 P2 P3) before \">\", found 3"},
      {"00 A4 00 00 02 > 3F", "s.txt:1:20: expected 2 data bytes as P3 02 says, found 1"},
      {"00 A4 00 00 01 > 3F 00", "s.txt:1:21: expected 1 data byte as P3 01 says, found 2"},
      {native256, "s.txt:1:783: expected 255 data bytes as P3 FF says, found 256"},
      {"00 B0 00 00 02 < 3F",
       "s.txt:1:18: expected no data after \"<\" (the card sends it), found \"3F\""},
      {"00 A4 00", "s.txt:1:9: expected at least 4 bytes (CLA INS P1 P2), found 3"},
      {"00 A4 04 00 02 3F 00 00 00",
       "s.txt:1:13: expected 2 data bytes after Lc 02 (and at most an Le), found 4 bytes"},
      {"00 A4 04 00 00 3F", "s.txt:1:13: expected Lc from 01 to FF before data bytes, found 00"},
      {bytes300,
       "s.txt:1:784: expected at most 255 data bytes and an Le after Lc, found 300 bytes"},
      {"00 A4 00 00 02 3F 00 (9G 00)",
       "s.txt:1:23: expected a status byte (two hex digits or X), found \"9G\""},
      {"00 B0 00 00 00 < (9é 00)",
       "s.txt:1:19: expected a status byte (two hex digits or X), found \"9é\""},
      {"00 B0 00 00 02 < [XX",
       "s.txt:1:21: expected \"]\" to close the \"[\" at column 18, found the end of the line"},
      {"00 B0 00 00 02 < (90 00",
       "s.txt:1:24: expected \")\" to close the \"(\" at column 18, found the end of the line"},
      {"00 B0 00 00 02 < (90 00 61 00)",
       "s.txt:1:25: expected \",\" or \")\" after a status word (SW1 SW2), found \"61\""},
      {"00 B0 00 00 02 < (90 00) (61 00)",
       "s.txt:1:26: expected one status word pattern, found a second"},
      {"00 B0 00 00 02 < (90 00) xyz",
       "s.txt:1:26: expected \"(\", \"[\", \"#\" or the end of the line, found \"xy\""},
      {"00 B0 00 00 00 < # " + std::string(64, 'a'),
       "s.txt:1:20: expected a comment of at most 63 bytes, found 64"},
      {"00 B0 00 00 00 < # caf\xE9", "s.txt:1:23: expected UTF-8 text, found the byte E9"},
      {std::string("00 B0\0", 6), "s.txt:1:6: expected text, found a zero byte"},
      {"# " + std::string(9000, 'a'),
       "s.txt:1:8193: expected at most 8192 bytes in a line, found more"},
      {"reset\nlog x", "s.txt:2:1: expected \"log\" before the first step (line 1)"},
      {"log a\nlog b", "s.txt:2:1: expected one \"log\" line, found another (line 1)"},
      {"bin maybe",
       "s.txt:1:5: expected on, off or a number from -2147483648 to 2147483647, found "
       "\"maybe\""},
      {"count 2147483648",
       "s.txt:1:7: expected a number from -2147483648 to 2147483647, found \"2147483648\""},
      {"log",
       "s.txt:1:4: expected a log file name (\"\" for an empty one), found the end of the line"},
      {"log \"abc", "s.txt:1:9: expected a closing quote, found the end of the line"},
      {"log \"é\\q\"",
       "s.txt:1:7: expected \\\\, \\\" or \\x and two hex digits after a backslash, found "
       "\"\\q\"\""},
      {"log \"a\\x00\"", "s.txt:1:7: expected a byte other than \\x00 in a text"},
      {"log " + std::string(128, 'a'),
       "s.txt:1:5: expected a log file name of at most 127 bytes, found 128"},
      {"log \"x\" y",
       "s.txt:1:9: expected \"#\" or the end of the line after the closing quote, "
       "found \"y\""},
      {"at 6: 01", "s.txt:1:1: expected a command above \"at\" (its bytes follow it)"},
      {"00 B0 00 00 00 <\nat 619: 01 02",
       "s.txt:2:12: expected bytes within the command's record (620 bytes), found 2 from 619"},
      {"00 B0 00 00 00 <\nat 620: 01",
       "s.txt:2:4: expected an offset from 0 to 619, found \"620:\""},
      {"00 B0 00 00 00 <\nat 6 01", "s.txt:2:6: expected \":\" after the offset, found \"01\""},
      {"scc at 1100: 00", "s.txt:1:8: expected an offset from 0 to 1099, found \"1100:\""},
      {"reset now", "s.txt:1:7: expected \"#\" or the end of the line after reset, found \"now\""},
      {"reserved block " + Repeated("00 ", 65),
       "s.txt:1:208: expected 1 to 64 bytes of the reserved block, found 65"},
      {"inv on off",
       "s.txt:1:8: expected \"#\" or the end of the line after \"inv\" and its value, "
       "found \"off\""},
      {"00 A4 04 00 00 00 02 3F 00",
       "s.txt:1:13: extended length (Lc 00 XX XX) is not supported, found 00 00 02"},
      {"log a\x1B[0m", "s.txt:1:6: expected text, found the control character \\x1B"},
      {"00 B0 00 00 00 < # x\xC2\x85",
       "s.txt:1:21: expected text, found the control character U+0085"},
      {"reset\r00 A4 G3 00", "s.txt:2:7: expected a hex byte, found \"G3\""},
      {"00 A4 00 0C 02 \\\n  > 7F G0", "s.txt:2:8: expected a hex byte, found \"G0\""},
      {"00 A4 00 0C 02 \\",
       "s.txt:1:16: expected a line to go on after the \"\\\" at the end of this one, found "
       "the end of the script"},
      {"count 1\n00 B0 00 00 00 <\n00 B0 00 00 00 <",
       "s.txt:1:7: expected a count of 2 (the commands of the script), found 1"},
      {"count 3\nreset",
       "s.txt:1:7: expected a count of 0 (the commands of the script) or a negative one, found 3"},
      {"00 B0 00 00 02 < Le 02",
       "s.txt:1:18: expected no Le after \"<\" (P3 is the length to read)"},
      {"00 A4 00 00 00 > Le 02",
       "s.txt:1:18: expected data before Le (a command that sends none and reads Le bytes is "
       "written with \"<\")"},
      {"00 A4 00 00 01 > 3F Le", "s.txt:1:23: expected one byte after Le (00 for 256), found 0"},
  };
  for (const Case& c : cases) {
    const ScriptReadResult read = ReadScriptText(c.text, "s.txt");
    EXPECT_FALSE(read.script.has_value()) << c.text;
    EXPECT_EQ(read.error, c.error) << c.text;
  }
}

TEST(ScriptReader, TakesSettingsFromTheirLinesAndTheRestFromANewList) {
  const ScriptReadResult read = ReadScriptText(
      "\xEF\xBB\xBF# a script\n"
      "log \"C:\\\\logs\\\\card #1.txt\"\n"
      "bin 7 # odd, kept\n"
      "execute settings DEMO: baud=9600 parity=E data=8 stop=2\n"
      "reserved word -1\n"
      "reserved block 90 01\n",
      "s.txt");
  ASSERT_TRUE(read.script) << read.error;
  const CommandScript& script = *read.script;
  EXPECT_STREQ(script.settings.logFileName, "C:\\logs\\card #1.txt");
  EXPECT_EQ(script.settings.bin, 7);
  EXPECT_EQ(script.settings.inverse, 0);
  EXPECT_STREQ(script.settings.executeSettings, "DEMO: baud=9600 parity=E data=8 stop=2");
  EXPECT_STREQ(script.settings.resetSettings, "COM2: baud=9600 parity=E data=8 stop=2");
  EXPECT_STREQ(script.settings.altLogFileName, "test2.txt");
  EXPECT_EQ(script.settings.reservedWord, -1);
  EXPECT_THAT(
      std::vector<std::uint8_t>(script.settings.reservedBlock, script.settings.reservedBlock + 3),
      ElementsAre(0x90, 0x01, 0x00));
  EXPECT_TRUE(script.given.log && script.given.bin && script.given.executeSettings);
  EXPECT_FALSE(script.given.inv || script.given.resetSettings);
  EXPECT_TRUE(script.steps.empty());
  EXPECT_TRUE(script.scc.empty());
}

TEST(ScriptReader, KeepsStepsInOrderWithTheirRecordsExpectationsAndComments) {
  const ScriptReadResult read = ReadScriptText(
      "reset\n00 A4 00 00 02 > 3F 00 (61 XX) # select MF\nreset\n00 C0 00 00 1A <\n", "s.txt");
  ASSERT_TRUE(read.script) << read.error;
  const auto& steps = read.script->steps;
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_TRUE(steps[0].IsReset());
  EXPECT_TRUE(steps[2].IsReset());
  const CardCommand select = *steps[1].command;
  EXPECT_THAT(select.header, ElementsAre(0x00, 0xA4, 0x00, 0x00, 0x02));
  EXPECT_EQ(select.direction, kToCard);
  EXPECT_THAT(std::vector<std::uint8_t>(select.data, select.data + 3), ElementsAre(0x3F, 0, 0));
  EXPECT_STREQ(select.comment, "select MF");
  EXPECT_EQ(select.reserved88[0], 0x90) << "the rest as in a new record";
  EXPECT_EQ(ExpectationText(steps[1].expect), "(61 XX)");
  EXPECT_EQ(steps[3].command->direction, kFromCard);
  EXPECT_TRUE(steps[3].expect.empty());
  EXPECT_EQ(read.script->CommandCount(), 2u);
}

TEST(ScriptReader, ReadsAScriptGivenInPiecesAsAWhole) {
  const std::string text = "log x.txt\n00 A4 00 00 02 > 3F 00 # select\nreset\n00 B0 00 00 10";
  ScriptTextReader reader("s.txt");
  for (const char c : text) ASSERT_TRUE(reader.Feed(std::string_view(&c, 1)));
  const auto script = reader.Finish();
  ASSERT_TRUE(script);
  EXPECT_EQ(WriteScriptText(*script), WriteScriptText(*ReadScriptText(text, "s.txt").script));
  EXPECT_EQ(script->steps.size(), 3u);
}

TEST(ScriptReader, KeepsCommentLinesAndLeWhereTheyStand) {
  const ScriptReadResult read = ReadScriptText(
      "# head\nlog x.txt\n# for the first\n00 A4 04 00 01 3F 00\nreset\n# tail", "s.txt");
  ASSERT_TRUE(read.script) << read.error;
  const CommandScript& script = *read.script;
  EXPECT_THAT(script.leadingComments, ElementsAre(" head"));
  EXPECT_THAT(script.steps[0].commentsBefore, ElementsAre(" for the first"));
  EXPECT_EQ(script.steps[0].le, 256);
  EXPECT_FALSE(script.steps[1].le);
  EXPECT_THAT(script.closingComments, ElementsAre(" tail"));
  const SccLoss loss = LostInScc(script);
  EXPECT_EQ(SccLossText(loss), "1 Reset line and 1 Le of a case 4 command");
  const std::string written = WriteScriptText(script);
  EXPECT_EQ(written.substr(0, 7), "# head\n");
  EXPECT_EQ(WriteScriptText(*ReadScriptText(written, "s.txt").script), written);
}

TEST(ScriptReader, ReadsALongLineTheSameWhateverEndsIt) {
  const std::string line = "# " + std::string(kScriptMaxLineBytes - 2, 'a');
  const ScriptReadResult lf = ReadScriptText(line + "\nreset\n", "s.txt");
  const ScriptReadResult crlf = ReadScriptText(line + "\r\nreset\r\n", "s.txt");
  ASSERT_TRUE(lf.script && crlf.script) << lf.error << crlf.error;
  EXPECT_EQ(WriteScriptText(*crlf.script), WriteScriptText(*lf.script));
  // A CR LF split between two pieces is still one line end.
  ScriptTextReader reader("s.txt");
  for (const std::string_view piece : {"reset\r", "\nreset\r", "reset"}) reader.Feed(piece);
  EXPECT_EQ(reader.Finish()->steps.size(), 3u);
}

TEST(ScriptReader, RefusesMoreCommandsThanAListKeeps) {
  const std::string text = Repeated("00 B0 00 00 00 <\n", kScriptMaxCommands + 1);
  const ScriptReadResult read = ReadScriptText(text, "s.txt");
  EXPECT_FALSE(read.script);
  EXPECT_EQ(read.error, "s.txt:100001:1: expected at most 100000 commands, found more");
}

}  // namespace
}  // namespace quorvel
