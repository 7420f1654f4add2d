#pragma once

#include <QProcess>
#include <optional>
#include <string>
#include <vector>

#include "about/fallback_link_opener.h"
#include "about/link_opener.h"
#include "about/xdg_web_page_command.h"

namespace quorvel::gui {

// The desktop's URL handlers (Qt's desktop services). A target without a
// scheme is a file, relative to the working folder.
class DesktopServicesShell final : public DesktopShell {
 public:
  int Open(const std::string& target) override;
};

// Starts a program detached, found on PATH when given without a folder.
class DetachedProgramLauncher final : public ProgramLauncher {
 public:
  int Start(const std::string& program, const std::vector<std::string>& arguments) override;
};

// The desktop entry id of the default web browser, as `xdg-mime query default
// text/html` names it. The query starts with the object and runs on its own: asking never
// waits for it, and gets none until it has answered, or when the tool is missing or names
// nothing.
class DefaultWebBrowserQuery {
 public:
  DefaultWebBrowserQuery();
  ~DefaultWebBrowserQuery();
  DefaultWebBrowserQuery(const DefaultWebBrowserQuery&) = delete;
  DefaultWebBrowserQuery& operator=(const DefaultWebBrowserQuery&) = delete;

  std::optional<std::string> Answer();

 private:
  QProcess* query_;
  std::optional<std::string> answer_;
};

// How the program opens links: the desktop's URL handlers first, then the
// default web browser's own command with the target.
class DesktopLinkOpener final : public LinkOpener {
 public:
  DesktopLinkOpener();

  int OpenTarget(const std::string& target) override;

 private:
  DesktopServicesShell shell_;
  DefaultWebBrowserQuery browser_;
  XdgWebPageCommand web_page_command_;
  DetachedProgramLauncher launcher_;
  FallbackLinkOpener opener_;
};

}  // namespace quorvel::gui
