#include "about/fallback_link_opener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "about/open_result.h"

namespace quorvel {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;

class MockShell : public DesktopShell {
 public:
  MOCK_METHOD(int, Open, (const std::string&), (override));
};

class MockWebPageCommand : public WebPageCommand {
 public:
  MOCK_METHOD(std::optional<std::string>, Find, (), (override));
};

class MockLauncher : public ProgramLauncher {
 public:
  MOCK_METHOD(int, Start, (const std::string&, const std::vector<std::string>&), (override));
};

class FallbackLinkOpenerTest : public ::testing::Test {
 protected:
  MockShell shell_;
  MockWebPageCommand command_;
  MockLauncher launcher_;
  FallbackLinkOpener opener_{shell_, command_, launcher_};
};

TEST_F(FallbackLinkOpenerTest, ShellSuccessIsTheResult) {
  EXPECT_CALL(shell_, Open("mailto:a@b.example")).WillOnce(Return(42));
  EXPECT_CALL(command_, Find()).Times(0);
  EXPECT_EQ(opener_.OpenTarget("mailto:a@b.example"), 42);
}

TEST_F(FallbackLinkOpenerTest, WithoutRegisteredCommandTheShellErrorStands) {
  EXPECT_CALL(shell_, Open(_)).WillOnce(Return(SE_ERR_NOASSOC));
  EXPECT_CALL(command_, Find()).WillOnce(Return(std::nullopt));
  EXPECT_CALL(launcher_, Start(_, _)).Times(0);
  EXPECT_EQ(opener_.OpenTarget("http://x.example/"), SE_ERR_NOASSOC);
}

TEST_F(FallbackLinkOpenerTest, RegisteredCommandGetsTheTargetAsOneArgument) {
  const std::string target = "http://x.example/a b;rm -rf ~ $(id) `id` \"q\"";
  EXPECT_CALL(shell_, Open(_)).WillOnce(Return(SE_ERR_NOASSOC));
  EXPECT_CALL(command_, Find())
      .WillOnce(Return("\"/opt/My Browser/run\" --new-window \"%u\" --ignored"));
  EXPECT_CALL(launcher_, Start("/opt/My Browser/run", ElementsAre("--new-window", target)))
      .WillOnce(Return(kOpened));
  EXPECT_EQ(opener_.OpenTarget(target), kOpened);
}

TEST_F(FallbackLinkOpenerTest, LauncherErrorIsTheResult) {
  EXPECT_CALL(shell_, Open(_)).WillOnce(Return(SE_ERR_NOASSOC));
  EXPECT_CALL(command_, Find()).WillOnce(Return("gone %u"));
  EXPECT_CALL(launcher_, Start("gone", ElementsAre("t"))).WillOnce(Return(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(opener_.OpenTarget("t"), ERROR_FILE_NOT_FOUND);
}

TEST_F(FallbackLinkOpenerTest, LineThatDoesNotFitTheBufferIsRefusedWhole) {
  // "b  " (the cut command and its blank) and the target: 519 characters and
  // the zero fit, 520 don't.
  EXPECT_CALL(shell_, Open(_)).WillRepeatedly(Return(SE_ERR_NOASSOC));
  EXPECT_CALL(command_, Find()).WillRepeatedly(Return("b %u"));
  const std::string fits(516, 'x');
  EXPECT_CALL(launcher_, Start("b", ElementsAre(fits))).WillOnce(Return(kOpened));
  EXPECT_EQ(opener_.OpenTarget(fits), kOpened);
  EXPECT_EQ(opener_.OpenTarget(std::string(517, 'x')), ERROR_BAD_LENGTH);
}

TEST_F(FallbackLinkOpenerTest, UnusableCommandIsAnIncompleteAssociation) {
  EXPECT_CALL(shell_, Open(_)).WillRepeatedly(Return(SE_ERR_NOASSOC));
  EXPECT_CALL(command_, Find()).WillOnce(Return("\"open quote %u")).WillOnce(Return("%u"));
  EXPECT_CALL(launcher_, Start(_, _)).Times(0);
  EXPECT_EQ(opener_.OpenTarget("t"), SE_ERR_ASSOCINCOMPLETE);
  EXPECT_EQ(opener_.OpenTarget("t"), SE_ERR_ASSOCINCOMPLETE);
}

}  // namespace
}  // namespace quorvel
