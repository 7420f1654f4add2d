#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "about/fallback_link_opener.h"

namespace quorvel {

// The desktop's default program for text/html: the desktop entry id that the
// query names (what `xdg-mime query default text/html` prints), looked up in
// the data folders, gives its Exec line.
class XdgWebPageCommand final : public WebPageCommand {
 public:
  using DefaultHandlerQuery = std::function<std::optional<std::string>()>;

  XdgWebPageCommand(DefaultHandlerQuery query_default_handler, std::vector<std::string> data_dirs);

  std::optional<std::string> Find() override;

 private:
  DefaultHandlerQuery query_default_handler_;
  std::vector<std::string> data_dirs_;
};

}  // namespace quorvel
