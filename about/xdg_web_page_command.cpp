#include "about/xdg_web_page_command.h"

#include "about/desktop_entry.h"

namespace quorvel {

XdgWebPageCommand::XdgWebPageCommand(DefaultHandlerQuery query_default_handler,
                                     std::vector<std::string> data_dirs)
    : query_default_handler_(std::move(query_default_handler)), data_dirs_(std::move(data_dirs)) {}

std::optional<std::string> XdgWebPageCommand::Find() {
  const std::optional<std::string> desktop_id = query_default_handler_();
  if (!desktop_id) return std::nullopt;
  return FindDesktopEntryExec(*desktop_id, data_dirs_);
}

}  // namespace quorvel
