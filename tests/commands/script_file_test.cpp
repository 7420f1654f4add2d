#include "commands/script_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "commands/script_scc.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes AsBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes SccFile(int commands) {
  std::vector<std::unique_ptr<CardCommand>> records;
  for (int i = 0; i < commands; ++i)
    records.push_back(std::make_unique<CardCommand>(NewCardCommand()));
  return EncodeScc(DefaultSccSettings(), records);
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(ScriptFileKind, IsToldByContent) {
  Bytes cutShort = SccFile(2);
  cutShort.resize(cutShort.size() - 100);
  Bytes oddCopies = cutShort;
  oddCopies[kSccResetCopiesAt + 5] ^= 1;
  Bytes noise(5000);
  std::mt19937 random(7);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
  std::string cutCharacter;
  while (cutCharacter.size() < kSccHeaderSize - 2) cutCharacter += "# text\n";
  cutCharacter.resize(kSccHeaderSize - 2);
  cutCharacter += "\xE2\x82";
  struct Case {
    Bytes bytes;
    std::uint64_t size;
    ScriptFileKind kind;
  } cases[] = {
      {{}, 0, ScriptFileKind::kText},
      {AsBytes("reset\n00 A4 00 00\n"), 18, ScriptFileKind::kText},
      {AsBytes(cutCharacter), 5000, ScriptFileKind::kText},
      // Without a zero byte it is text, good UTF-8 or not: the reader says where it is not.
      {AsBytes(cutCharacter), kSccHeaderSize, ScriptFileKind::kText},
      {AsBytes(std::string_view("\xFF\xFEr\0e\0", 6)), 6, ScriptFileKind::kNeither},
      {AsBytes("# \xFF"), 5000, ScriptFileKind::kText},
      {SccFile(0), kSccHeaderSize, ScriptFileKind::kScc},
      {SccFile(3), kSccHeaderSize + 3 * kSccRecordSize, ScriptFileKind::kScc},
      {cutShort, cutShort.size(), ScriptFileKind::kScc},
      {oddCopies, oddCopies.size(), ScriptFileKind::kNeither},
      {noise, noise.size(), ScriptFileKind::kNeither},
  };
  for (const Case& c : cases) {
    const std::span<const std::uint8_t> start(
        c.bytes.data(), std::min<std::size_t>(c.bytes.size(), kSccHeaderSize));
    EXPECT_EQ(RecognizeScriptFile(start, c.size), c.kind) << c.bytes.size();
  }
}

class ScriptFileLoad : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name, const Bytes& bytes) {
    const auto path = folder_ / name;
    Write(path, bytes);
    return path.string();
  }

  testing::TempFolder folder_;
};

TEST_F(ScriptFileLoad, ReadsTextScriptsAndSccFilesAlike) {
  const std::string text = PathOf("a.txt", AsBytes("log a.log\n00 A4 00 00 02 3F 00 (90 00)\n"));
  ScriptLoadResult loaded = LoadScriptFile(text);
  ASSERT_EQ(loaded.status, SccLoadStatus::kLoaded) << loaded.message;
  EXPECT_EQ(loaded.kind, ScriptFileKind::kText);
  EXPECT_STREQ(loaded.script.settings.logFileName, "a.log");
  ASSERT_EQ(loaded.script.steps.size(), 1u);
  EXPECT_EQ(ExpectationText(loaded.script.steps[0].expect), "(90 00)");

  const Bytes scc = EncodeScriptScc(loaded.script);
  loaded = LoadScriptFile(PathOf("a.scc", scc));
  ASSERT_EQ(loaded.status, SccLoadStatus::kLoaded) << loaded.message;
  EXPECT_EQ(loaded.kind, ScriptFileKind::kScc);
  EXPECT_TRUE(loaded.complete);
  EXPECT_EQ(EncodeScriptScc(loaded.script), scc);
}

TEST_F(ScriptFileLoad, KeepsWhatAnSccFileThatEndsEarlyHolds) {
  Bytes scc = SccFile(3);
  scc.resize(scc.size() - 1);
  const ScriptLoadResult loaded = LoadScriptFile(PathOf("short.scc", scc));
  ASSERT_EQ(loaded.status, SccLoadStatus::kLoaded);
  EXPECT_FALSE(loaded.complete);
  EXPECT_EQ(loaded.message, "The file ends early: 2 of its 3 commands were loaded.");
  EXPECT_EQ(EncodeScriptScc(loaded.script), scc);
}

TEST_F(ScriptFileLoad, KeepsAtMostAMegabyteAfterAnSccFilesLastCommand) {
  const std::string path = PathOf("long.scc", SccFile(1));
  ASSERT_EQ(truncate(path.c_str(), kSccHeaderSize + kSccRecordSize + 3 * kScriptMaxTrailingBytes),
            0);
  const ScriptLoadResult loaded = LoadScriptFile(path);
  ASSERT_EQ(loaded.status, SccLoadStatus::kLoaded) << loaded.message;
  EXPECT_EQ(loaded.script.scc.trailing.size(), kScriptMaxTrailingBytes);
  EXPECT_EQ(loaded.script.scc.trailingNotKept, 2 * kScriptMaxTrailingBytes);
}

TEST_F(ScriptFileLoad, RefusesWhatIsNoScriptWithTheReason) {
  const std::string huge = PathOf("huge.txt", AsBytes(std::string(kSccHeaderSize, '#')));
  ASSERT_EQ(truncate(huge.c_str(), std::int64_t{1} << 30), 0);  // sparse: takes no room
  const std::string fifo = (folder_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    SccLoadStatus status;
    std::string message;
  } cases[] = {
      {huge, SccLoadStatus::kRefused,
       "Could not load \"" + huge +
           "\": it holds 1073741824 bytes, more than the 268435456 a command script may hold."},
      {PathOf("bad.txt", AsBytes("reset\n00 A4 G3\n")), SccLoadStatus::kRefused,
       (folder_ / "bad.txt").string() + ":2:7: expected a hex byte, found \"G3\""},
      {PathOf("x.bin", AsBytes(std::string("\x7F"
                                           "ELF\x02\x01\x01\0\0",
                                           9))),
       SccLoadStatus::kRefused,
       "Could not load \"" + (folder_ / "x.bin").string() +
           "\": it is neither a command script (UTF-8 text) nor an SCC file."},
      {(folder_ / "none.txt").string(), SccLoadStatus::kMissing,
       "Could not load \"" + (folder_ / "none.txt").string() + "\": No such file or directory."},
      {fifo, SccLoadStatus::kRefused,
       "Could not load \"" + fifo + "\": it is a named pipe, not a file."},
  };
  for (const Case& c : cases) {
    const ScriptLoadResult loaded = LoadScriptFile(c.path);
    EXPECT_EQ(loaded.status, c.status) << c.path;
    EXPECT_EQ(loaded.message, c.message);
    EXPECT_TRUE(loaded.script.steps.empty());
  }
}

TEST(ScriptFileWrite, WritesTheKindTheNameSays) {
  for (const auto& [name, kind] : {std::pair{"list.scc", ScriptFileKind::kScc},
                                   {"LIST.SCC", ScriptFileKind::kScc},
                                   {"list.txt", ScriptFileKind::kText},
                                   {"scc", ScriptFileKind::kText},
                                   {"list.scc.bak", ScriptFileKind::kText}})
    EXPECT_EQ(KindForFileName(name), kind) << name;
  const CommandScript script;
  EXPECT_EQ(EncodeScriptFile(script, ScriptFileKind::kScc), SccFile(0));
  const Bytes text = EncodeScriptFile(script, ScriptFileKind::kText);
  EXPECT_EQ(std::string(text.begin(), text.begin() + 13), "log test.txt\n");
}

}  // namespace
}  // namespace quorvel
