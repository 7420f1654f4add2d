#include "sim/file_walker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "sim/demo_sim_cards.h"
#include "sim/pin_verification.h"
#include "sim/walk_report.h"
#include "support/application_card_access.h"

namespace quorvel {
namespace {

using testing::ApplicationCardAccess;
using ::testing::ElementsAre;
using Carrier = ApplicationCardAccess::Carrier;

const WalkedFile& FileAt(const CardWalk& walk, const std::string& path) {
  for (const WalkedFile& file : walk.files) {
    if (file.path == path) return file;
  }
  static const WalkedFile none;
  ADD_FAILURE() << "no file " << path;
  return none;
}

std::string Decoded(const CardWalk& walk, const std::string& path, const char* field) {
  const quorvel::Decoded* value = FileAt(walk, path).decoded.Find(field);
  return value ? DecodedJson(*value) : "(none)";
}

// A card that answers some commands itself, before the card it wraps: a class it refuses,
// or a SELECT of one file id.
class AlteredCard final : public CardApplication {
 public:
  using Rule = std::function<std::optional<std::uint16_t>(const std::uint8_t (&)[5],
                                                          std::span<const std::uint8_t>)>;
  AlteredCard(std::unique_ptr<CardApplication> card, Rule rule)
      : card_(std::move(card)), rule_(std::move(rule)) {}

  void Reset() override { card_->Reset(); }
  std::optional<std::uint16_t> Refusal(const std::uint8_t (&header)[5]) override {
    if (const auto sw = rule_(header, {})) return sw;
    return card_->Refusal(header);
  }
  bool TakesData(const std::uint8_t (&header)[5]) const override {
    return card_->TakesData(header);
  }
  void Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
           std::vector<std::uint8_t>& answer) override {
    if (const auto sw = rule_(header, data)) {
      answer = {static_cast<std::uint8_t>(*sw >> 8), static_cast<std::uint8_t>(*sw)};
      return;
    }
    card_->Run(header, data, answer);
  }

 private:
  std::unique_ptr<CardApplication> card_;
  Rule rule_;
};

// SELECT of `id` in class `cla` is answered `sw`.
AlteredCard::Rule SelectAnswered(std::uint8_t cla, std::uint16_t id, std::uint16_t sw) {
  return [=](const std::uint8_t(&header)[5],
             std::span<const std::uint8_t> data) -> std::optional<std::uint16_t> {
    if (header[0] != cla || header[1] != 0xA4 || data.size() != 2) return std::nullopt;
    if ((data[0] << 8 | data[1]) != id) return std::nullopt;
    return sw;
  };
}

// The walk sent nothing but SELECT, GET RESPONSE, READ BINARY and READ RECORD, and no READ
// went twice to the same part of the same file of the same directory.
void ExpectOnlyReadsOnce(const ApplicationCardAccess& access) {
  std::set<std::vector<std::uint8_t>> reads;
  std::vector<std::uint8_t> directory;
  std::vector<std::uint8_t> file;
  for (const auto& command : access.commands) {
    EXPECT_THAT(command[1], ::testing::AnyOf(0xA4, 0xC0, 0xB0, 0xB2));
    if (command[1] == 0xA4) {
      const std::vector<std::uint8_t> id(command.begin() + 5, command.end());
      const bool isDirectory = command[2] == 0x04 || id[0] == 0x7F || id[0] == 0x3F;
      (isDirectory ? directory : file) = id;
    }
    if (command[1] != 0xB0 && command[1] != 0xB2) continue;
    std::vector<std::uint8_t> read = directory;
    read.insert(read.end(), file.begin(), file.end());
    read.insert(read.end(), command.begin(), command.begin() + 4);
    EXPECT_TRUE(reads.insert(read).second) << "read twice";
  }
}

std::size_t Selections(const ApplicationCardAccess& access, std::uint16_t id) {
  std::size_t count = 0;
  for (const auto& command : access.commands) {
    count += command[1] == 0xA4 && command.size() == 7 && (command[5] << 8 | command[6]) == id;
  }
  return count;
}

TEST(FileWalkerTest, WalksTheDemoSimAsAGsmSim) {
  auto card = MakeDemoSim();
  ApplicationCardAccess access(*card);
  const CardWalk walk = WalkCard(access);

  EXPECT_EQ(walk.kind, CardKind::kGsmSim);
  EXPECT_TRUE(walk.reached && walk.completed);
  EXPECT_THAT(walk.notes, ElementsAre("MF: class 00 refused: class not supported (6E 00), so the "
                                      "card is walked as a SIM in class A0"));
  EXPECT_EQ(FileAt(walk, "3F00/2F00").status, "absent (94 04)");  // a SIM has no EF.DIR
  std::size_t read = 0;
  for (const WalkedFile& file : walk.files) read += file.read;
  EXPECT_EQ(read, walk.files.size() - 1);
  EXPECT_EQ(Decoded(walk, "3F00/7F20/6F07", "mnc"), R"("01")");
  EXPECT_EQ(Decoded(walk, "3F00/2FE2", "iccid"), R"("8949020000123456788")");
  // Each directory once; the MF once in each class.
  EXPECT_EQ(Selections(access, 0x7F10), 1u);
  EXPECT_EQ(Selections(access, 0x7F20), 1u);
  EXPECT_EQ(Selections(access, 0x3F00), 2u);
  ExpectOnlyReadsOnce(access);
  EXPECT_EQ(walk.exchanges, access.commands.size());
  EXPECT_EQ(walk.exchanges, 63u);
}

TEST(FileWalkerTest, MarksTheFilesBehindPin1OfALockedUiccAndVerifiesNothing) {
  auto card = MakeDemoUicc();
  ApplicationCardAccess access(*card);
  const CardWalk walk = WalkCard(access);

  EXPECT_EQ(walk.kind, CardKind::kUicc);
  EXPECT_TRUE(walk.completed);
  EXPECT_EQ(access.Count(0x20), 0u);
  for (const char* path :
       {"3F00/7F10/6F3A", "3F00/7F20/6F07", "3F00/7FFF/6F07", "3F00/7FFF/6F73"}) {
    EXPECT_EQ(FileAt(walk, path).status, "needs PIN1 (69 82)") << path;
  }
  EXPECT_EQ(FileAt(walk, "3F00/7FFF").name, "ADF.USIM");
  EXPECT_EQ(Decoded(walk, "3F00/7FFF/6F46", "name"), R"("Quorvel Télécom")");
  EXPECT_EQ(Decoded(walk, "3F00/7FFF/6FAD", "mnc_length"), "3");
  const Pin1Status pin = Pin1StatusOf(walk);
  EXPECT_TRUE(pin.known && pin.enabled);
  EXPECT_EQ(pin.triesLeft, std::nullopt);  // an FCP does not count them
  ExpectOnlyReadsOnce(access);
  EXPECT_EQ(walk.exchanges, 79u);
}

TEST(FileWalkerTest, AVerifiedUiccReadsTheSameOverT0AndWholeApdus) {
  std::vector<CardWalk> walks;
  for (const Carrier carrier : {Carrier::kT0, Carrier::kApdu}) {
    auto card = MakeDemoUicc();
    ApplicationCardAccess access(*card, carrier);
    ASSERT_TRUE(VerifyPin1(access, CardKind::kUicc, "1234").verified);
    walks.push_back(WalkCard(access));
    EXPECT_EQ(access.Count(0x20), 1u);
    EXPECT_EQ(access.Count(0xC0), carrier == Carrier::kT0 ? walks.back().files.size() : 0u);
  }
  const CardWalk& walk = walks[0];
  ASSERT_EQ(walk.files.size(), walks[1].files.size());
  for (std::size_t i = 0; i < walk.files.size(); ++i) {
    EXPECT_EQ(WalkedFileJson(walk.files[i]), WalkedFileJson(walks[1].files[i]));
  }
  EXPECT_EQ(Decoded(walk, "3F00/7FFF/6F07", "imsi"), R"("310410123456789")");
  EXPECT_EQ(Decoded(walk, "3F00/7FFF/6F07", "mnc"), R"("410")");
  const auto& names = FileAt(walk, "3F00/7F10/6F3A").decoded.Find("records")->items();
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(DecodedJson(*names[1].Find("alpha")), R"("李雷")");
  EXPECT_EQ(DecodedJson(*names[2].Find("alpha")), R"("Ελένη")");
  EXPECT_EQ(DecodedJson(*names[3].Find("alpha")), R"("Արամ")");
  EXPECT_EQ(walks[0].exchanges, 91u);  // T=0: GET RESPONSE after each SELECT
  EXPECT_EQ(walks[1].exchanges, 65u);
}

TEST(FileWalkerTest, TriesTheOtherClassForARefusedDirectoryAndGoesOn) {
  struct Case {
    const char* what;
    bool uicc;
    AlteredCard::Rule rule;
    const char* path;
    const char* status;
  };
  const Case cases[] = {
      {"a SIM without DF.GSM in class A0, refusing class 00", false,
       SelectAnswered(0xA0, 0x7F20, 0x9404), "3F00/7F20",
       "class A0 absent (94 04), class 00 refused: class not supported (6E 00)"},
      {"a UICC refusing class 00 for DF.GSM and class A0 altogether", true,
       SelectAnswered(0x00, 0x7F20, 0x6E00), "3F00/7F20",
       "class 00 refused: class not supported (6E 00), class A0 refused: wrong instruction class "
       "given in the command (6E 00)"},
  };
  for (const Case& c : cases) {
    AlteredCard card(c.uicc ? std::unique_ptr<CardApplication>(MakeDemoUicc())
                            : std::unique_ptr<CardApplication>(MakeDemoSim()),
                     c.rule);
    ApplicationCardAccess access(card);
    const CardWalk walk = WalkCard(access);
    EXPECT_TRUE(walk.completed) << c.what;
    EXPECT_EQ(FileAt(walk, c.path).status, c.status) << c.what;
    EXPECT_TRUE(FileAt(walk, "3F00/7F10/6F3A").read || c.uicc) << c.what;
    EXPECT_EQ(FileAt(walk, "3F00/2FE2").status, "read") << c.what;
    if (c.uicc) {
      EXPECT_EQ(FileAt(walk, "3F00/7FFF/6FAD").status, "read") << c.what;
    }
  }
}

TEST(FileWalkerTest, ACardAnsweringNeitherClassIsReportedWithBothStatusWords) {
  AlteredCard card(MakeDemoSim(), [](const std::uint8_t(&header)[5], auto) {
    return header[0] == 0xA0 ? std::optional<std::uint16_t>(0x6D00) : std::nullopt;
  });
  ApplicationCardAccess access(card);
  const CardWalk walk = WalkCard(access);
  EXPECT_FALSE(walk.reached);
  EXPECT_EQ(walk.kind, CardKind::kUnknown);
  ASSERT_EQ(walk.files.size(), 1u);
  EXPECT_EQ(walk.files[0].status,
            "neither class answered: class 00 refused: class not supported (6E 00), class A0 "
            "refused: unknown instruction code given in the command (6D 00)");
  EXPECT_EQ(walk.exchanges, 2u);
}

TEST(FileWalkerTest, StopsBetweenCommandsWhenAskedOrWhenTheCardFallsSilent) {
  for (const bool silent : {false, true}) {
    auto card = MakeDemoSim();
    ApplicationCardAccess access(*card);
    (silent ? access.answerLimit : access.stopLimit) = 20;
    const CardWalk walk = WalkCard(access);
    EXPECT_FALSE(walk.completed);
    EXPECT_EQ(walk.outcome, silent ? "the card stopped answering after 21 exchanges"
                                   : "stopped on request after 20 exchanges");
    EXPECT_EQ(access.commands.size(), silent ? 21u : 20u);
  }
}

TEST(FileWalkerTest, ReadsALongFileInPartsOfAtMost255Bytes) {
  std::vector<FileSystemCard::File> files = DemoSimFiles();
  for (FileSystemCard::File& file : files) {
    if (file.id == 0x6F30) file.content.assign(600, 0xFF);  // EF.PLMNsel
  }
  FileSystemCard card(FileSystemCard::Kind::kGsmSim, files, {});
  ApplicationCardAccess access(card);
  const CardWalk walk = WalkCard(access);
  EXPECT_EQ(FileAt(walk, "3F00/7F20/6F30").body.size(), 600u);
  std::vector<std::vector<std::uint8_t>> reads;
  for (const auto& command : access.commands) {
    if (command[1] == 0xB0 && command[4] != 9 && command[4] > 20) reads.push_back(command);
  }
  EXPECT_THAT(reads, ElementsAre(ElementsAre(0xA0, 0xB0, 0x00, 0x00, 0xFF),
                                 ElementsAre(0xA0, 0xB0, 0x00, 0xFF, 0xFF),
                                 ElementsAre(0xA0, 0xB0, 0x01, 0xFE, 0x5A)));
}

TEST(FileWalkerTest, KeepsWhatARecordFileAndAnUnexpectedStructureGive) {
  std::vector<FileSystemCard::File> files = DemoSimFiles();
  for (FileSystemCard::File& file : files) {
    if (file.id == 0x6FB7) {  // EF.ECC, linear fixed where a SIM's is transparent
      file.structure = FileStructure::kLinearFixed;
      file.recordLength = 3;
    }
  }
  // EF.ADN says 10 records, the card has 2.
  AlteredCard card(std::make_unique<FileSystemCard>(FileSystemCard::Kind::kGsmSim, files,
                                                    FileSystemCard::Pin1{}),
                   [](const std::uint8_t(&header)[5], auto) -> std::optional<std::uint16_t> {
                     if (header[1] == 0xB2 && header[4] == 28 && header[2] >= 3) return 0x9402;
                     return std::nullopt;
                   });
  ApplicationCardAccess access(card);
  const CardWalk walk = WalkCard(access);

  const WalkedFile& adn = FileAt(walk, "3F00/7F10/6F3A");
  EXPECT_EQ(adn.status, "read");
  ASSERT_EQ(adn.records.size(), 3u);  // no READ RECORD after the one out of range
  EXPECT_EQ(adn.records[2].status, "out of range (94 02)");
  EXPECT_EQ(DecodedJson(*adn.decoded.Find("unreadable_records")),
            R"x([{"record": 3, "status": "out of range (94 02)"}])x");
  EXPECT_THAT(WalkedFileJson(adn), ::testing::HasSubstr(R"x(05 20 FF FF FF FF FF FF", null], )x"));
  EXPECT_THAT(WalkTreeLines(walk), ::testing::Contains("        record 3: out of range (94 02)"));

  const WalkedFile& ecc = FileAt(walk, "3F00/7F20/6FB7");
  EXPECT_EQ(ecc.records.size(), 5u);
  EXPECT_THAT(ecc.decoded.notes(),
              ElementsAre("the card describes this file as linear fixed, which its decoder does "
                          "not expect: not decoded"));
  EXPECT_THAT(WalkTreeLines(walk), ::testing::Contains("        record 1: 11 F2 FF"));
}

TEST(FileWalkerTest, SelectsEachApplicationOfEfDirOnceByItsFullAid) {
  std::vector<FileSystemCard::File> files = DemoUiccFiles();
  for (FileSystemCard::File& file : files) {
    if (file.id != 0x2F00) continue;
    // The USIM twice, then an ISIM the card does not have.
    const std::vector<std::uint8_t> isim = {0x61, 0x0F, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x00,
                                            0x87, 0x10, 0x04, 0xFF, 0x49, 0xFF, 0x05, 0x89};
    file.content.resize(32);
    file.content.insert(file.content.end(), file.content.begin(), file.content.end());
    file.content.insert(file.content.end(), isim.begin(), isim.end());
    file.content.resize(96, 0xFF);
  }
  FileSystemCard card(FileSystemCard::Kind::kUicc, files, {});
  ApplicationCardAccess access(card);
  const CardWalk walk = WalkCard(access);
  std::vector<std::vector<std::uint8_t>> byName;
  for (const auto& command : access.commands) {
    if (command[1] == 0xA4 && command[2] == 0x04) byName.push_back(command);
  }
  ASSERT_EQ(byName.size(), 2u);
  EXPECT_EQ(byName[0].size(), 5u + 16);  // the full AID of EF.DIR
  EXPECT_EQ(FileAt(walk, "3F00/7FFF/6F07").status, "read");
  EXPECT_EQ(FileAt(walk, "3F00/A0000000871004FF49FF0589").status, "absent (6A 82)");
  EXPECT_EQ(FileAt(walk, "3F00/A0000000871004FF49FF0589").name, "ADF ISIM");
}

TEST(Pin1VerificationTest, VerifiesOnceOnRequestAfterTellingTheTries) {
  auto card = MakeDemoUicc();
  ApplicationCardAccess access(*card);
  const PinTries tries = AskPin1Tries(access);
  EXPECT_EQ(tries.triesLeft, 3);
  ASSERT_THAT(access.commands, ElementsAre(ElementsAre(0x00, 0x20, 0x00, 0x01, 0x00)));

  const PinVerification refused = VerifyPin1(access, CardKind::kUicc, "12a4");
  EXPECT_FALSE(refused.sent);
  EXPECT_EQ(access.commands.size(), 1u);

  const PinVerification wrong = VerifyPin1(access, CardKind::kUicc, "0000");
  EXPECT_EQ(wrong.text, "wrong PIN1: 2 tries left");
  EXPECT_THAT(access.commands.back(), ElementsAre(0x00, 0x20, 0x00, 0x01, 0x08, '0', '0', '0', '0',
                                                  0xFF, 0xFF, 0xFF, 0xFF));
  EXPECT_TRUE(VerifyPin1(access, CardKind::kUicc, "1234").verified);
  EXPECT_EQ(access.Count(0x20), 3u);
  EXPECT_TRUE(AskPin1Tries(access).satisfied);
}

TEST(Pin1VerificationTest, ABlockedPinSaysSo) {
  FileSystemCard card(FileSystemCard::Kind::kUicc, DemoUiccFiles(), {true, "1234", 0});
  ApplicationCardAccess access(card);
  EXPECT_EQ(AskPin1Tries(access).text, "PIN1 is blocked");
  const PinVerification blocked = VerifyPin1(access, CardKind::kUicc, "1234");
  EXPECT_EQ(blocked.text, "PIN1 is blocked");
  EXPECT_EQ(blocked.triesLeft, 0);
}

TEST(Pin1VerificationTest, ALockedSimTellsChv1TriesFromItsSelectAnswers) {
  FileSystemCard card(FileSystemCard::Kind::kGsmSim, DemoSimFiles(), {true, "1234", 3});
  ApplicationCardAccess access(card);
  const CardWalk locked = WalkCard(access);
  EXPECT_EQ(FileAt(locked, "3F00/7F20/6F07").status, "needs CHV1, 3 tries left (98 04)");
  EXPECT_EQ(FileAt(locked, "3F00/7F20/6F46").status, "read");
  EXPECT_EQ(Pin1StatusOf(locked).triesLeft, 3);
  EXPECT_EQ(access.Count(0x20), 0u);

  const PinVerification wrong = VerifyPin1(access, CardKind::kGsmSim, "9999");
  EXPECT_EQ(wrong.text, "wrong CHV1: 2 tries left");  // from STATUS
  EXPECT_TRUE(VerifyPin1(access, CardKind::kGsmSim, "1234").verified);
  EXPECT_EQ(FileAt(WalkCard(access), "3F00/7F20/6F07").status, "read");
}

}  // namespace
}  // namespace quorvel
