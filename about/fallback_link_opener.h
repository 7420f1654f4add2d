#pragma once

#include <optional>
#include <string>
#include <vector>

#include "about/link_opener.h"

namespace quorvel {

// The desktop's own way of opening a target. Above 32 is success, else an error code.
class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  virtual int Open(const std::string& target) = 0;
};

// The command registered for opening web pages, with its placeholder for the
// page; none when nothing is registered.
class WebPageCommand {
 public:
  virtual ~WebPageCommand() = default;
  virtual std::optional<std::string> Find() = 0;
};

// Starts a program with its arguments, without a shell and without waiting.
// Above 32 is success, else an error code.
class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  virtual int Start(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// Opens a target through the desktop shell; when the shell can't, hands it to
// the program registered for web pages. That program is started directly with
// the target as one argument of its own, so no target can run other commands.
class FallbackLinkOpener final : public LinkOpener {
 public:
  FallbackLinkOpener(DesktopShell& shell, WebPageCommand& web_page_command,
                     ProgramLauncher& launcher);

  int OpenTarget(const std::string& target) override;

 private:
  DesktopShell& shell_;
  WebPageCommand& web_page_command_;
  ProgramLauncher& launcher_;
};

}  // namespace quorvel
