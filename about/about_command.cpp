#include "about/about_command.h"

namespace quorvel {

bool IsAboutCommand(unsigned id) {
  return (id & 0xFFF0u) == kAboutCommand;
}

}  // namespace quorvel
