#include "about/qt/desktop_link_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>

#include "about/desktop_entry.h"
#include "about/open_result.h"

namespace quorvel::gui {
namespace {

// Why a file that should exist can't be used: its folder is missing, or only the file.
int MissingFileCode(const QFileInfo& file) {
  return file.dir().exists() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace

int DesktopServicesShell::Open(const std::string& target) {
  if (target.empty()) return ERROR_FILE_NOT_FOUND;
  const QString text = QString::fromStdString(target);
  QUrl url(text);
  if (url.scheme().isEmpty()) {
    const QFileInfo file(QDir::current().absoluteFilePath(text));
    if (!file.exists()) return MissingFileCode(file);
    url = QUrl::fromLocalFile(file.absoluteFilePath());
  }
  if (!url.isValid()) return ERROR_FILE_NOT_FOUND;
  return QDesktopServices::openUrl(url) ? kOpened : SE_ERR_NOASSOC;
}

int DetachedProgramLauncher::Start(const std::string& program,
                                   const std::vector<std::string>& arguments) {
  const QString name = QString::fromStdString(program);
  QString path;
  if (name.contains(QLatin1Char('/'))) {
    const QFileInfo file(name);
    if (!file.exists()) return MissingFileCode(file);
    path = file.absoluteFilePath();
  } else {
    path = QStandardPaths::findExecutable(name);
    if (path.isEmpty()) return ERROR_FILE_NOT_FOUND;
  }
  if (!QFileInfo(path).isExecutable()) return SE_ERR_ACCESSDENIED;

  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  return QProcess::startDetached(path, list) ? kOpened : kErrorOutOfResources;
}

DefaultWebBrowserQuery::DefaultWebBrowserQuery() : query_(new QProcess) {
  query_->start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
}

DefaultWebBrowserQuery::~DefaultWebBrowserQuery() {
  // A query still running is left to end by itself, with nobody waiting for it.
  if (query_->state() != QProcess::NotRunning) {
    QObject::connect(query_, &QProcess::finished, query_, &QObject::deleteLater);
    QObject::connect(query_, &QProcess::errorOccurred, query_, &QObject::deleteLater);
    query_->setParent(nullptr);
    return;
  }
  delete query_;
}

std::optional<std::string> DefaultWebBrowserQuery::Answer() {
  if (answer_ || query_->state() != QProcess::NotRunning) return answer_;
  if (query_->exitStatus() == QProcess::NormalExit && query_->exitCode() == 0) {
    const QString id = QString::fromUtf8(query_->readAllStandardOutput())
                           .section(QLatin1Char('\n'), 0, 0)
                           .trimmed();
    if (!id.isEmpty()) answer_ = id.toStdString();
  }
  return answer_;
}

DesktopLinkOpener::DesktopLinkOpener()
    : web_page_command_([this] { return browser_.Answer(); },
                        XdgDataDirs(std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"),
                                    std::getenv("HOME"))),
      opener_(shell_, web_page_command_, launcher_) {}

int DesktopLinkOpener::OpenTarget(const std::string& target) {
  return opener_.OpenTarget(target);
}

}  // namespace quorvel::gui
