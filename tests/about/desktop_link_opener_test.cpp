#include "about/qt/desktop_link_opener.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "about/open_result.h"

namespace quorvel::gui {
namespace {

// Only the cases decided before anything is started: no browser may open here.

TEST(DesktopServicesShellTest, MissingFilesAreNotFound) {
  QTemporaryDir dir;
  DesktopServicesShell shell;
  EXPECT_EQ(shell.Open(""), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(shell.Open(dir.filePath("missing.txt").toStdString()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(shell.Open(dir.filePath("no/such/file.txt").toStdString()), ERROR_PATH_NOT_FOUND);
}

TEST(DetachedProgramLauncherTest, ProgramsThatCannotRunAreRefused) {
  QTemporaryDir dir;
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  DetachedProgramLauncher launcher;
  EXPECT_EQ(launcher.Start("quorvel-no-such-program", {"t"}), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(launcher.Start(dir.filePath("gone").toStdString(), {"t"}), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(launcher.Start(dir.filePath("no/prog").toStdString(), {"t"}), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(launcher.Start(plain.fileName().toStdString(), {"t"}), SE_ERR_ACCESSDENIED);
}

}  // namespace
}  // namespace quorvel::gui
