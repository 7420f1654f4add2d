#pragma once

#include <string>
#include <vector>

#include "commands/command_script.h"
#include "commands/scc_file.h"

namespace quorvel {

// What a loaded command script or SCC file held beyond the window's settings and list
// entries: the comment lines around its steps and the details only the SCC layout keeps
// (its odd header bytes, a negative count, the bytes after its last record). The window
// keeps them from Load to Save, so that saving a list it loaded writes them back as
// --convert would.
struct ListFileDetails {
  SccSettings settings = DefaultSccSettings();  // as loaded
  SccLayoutDetails scc;
  std::vector<std::string> leadingComments;
  std::vector<std::string> closingComments;
};

// The details of a loaded script; its settings and steps stay where they are.
ListFileDetails DetailsOfLoadedScript(const CommandScript& script);

// Puts the details into a script about to be saved wherever they still hold: a Bin or Inv
// value other than 0 and 1 while its box says the same (on or off), the header's odd bytes
// while the settings are the ones loaded, a negative count while there is no command. The
// comment lines and the trailing bytes always.
void RestoreListFileDetails(const ListFileDetails& details, CommandScript& script);

}  // namespace quorvel
