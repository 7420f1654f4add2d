#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "port/port_choices.h"

namespace quorvel {

// One completion of a settings string: the whole string to put in the edit, and the
// line that shows the port it names.
struct PortNameCompletion {
  std::string settings;
  std::string label;
};

// While the cursor is in the port name of a settings string (before its colon, or anywhere
// in a string without one): every named choice that begins with what is typed there, in
// any case, each as the whole string with that name in its place and the rest kept.
// Nothing while the cursor is in the rest of the string.
std::vector<PortNameCompletion> CompletePortName(std::string_view settings, std::size_t cursor,
                                                 const std::vector<PortChoice>& choices);

}  // namespace quorvel
