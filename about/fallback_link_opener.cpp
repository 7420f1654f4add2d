#include "about/fallback_link_opener.h"

#include "about/exec_line.h"
#include "about/fallback_command.h"
#include "about/open_result.h"

namespace quorvel {

FallbackLinkOpener::FallbackLinkOpener(DesktopShell& shell, WebPageCommand& web_page_command,
                                       ProgramLauncher& launcher)
    : shell_(shell), web_page_command_(web_page_command), launcher_(launcher) {}

int FallbackLinkOpener::OpenTarget(const std::string& target) {
  const int shell_result = shell_.Open(target);
  if (IsOpened(shell_result)) return shell_result;

  const std::optional<std::string> registered = web_page_command_.Find();
  if (!registered) return shell_result;

  const std::string command = CommandBeforeTarget(*registered);
  if (command.size() + target.size() >= kCommandBufferSize) return ERROR_BAD_LENGTH;

  std::optional<std::vector<std::string>> words = SplitExecLine(command);
  if (!words || words->empty()) return SE_ERR_ASSOCINCOMPLETE;
  const std::string program = words->front();
  std::vector<std::string> arguments(words->begin() + 1, words->end());
  arguments.push_back(target);
  return launcher_.Start(program, arguments);
}

}  // namespace quorvel
