#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Text from an SCC file (a comment, a name, a settings string) as UTF-8. Files may come
// from the program's Windows days: a byte that is not part of valid UTF-8 is read as
// Windows-1252, and the five bytes that code page leaves undefined (81 8D 8F 90 9D)
// become U+FFFD. Valid UTF-8 passes unchanged.
std::string FileTextAsUtf8(std::string_view bytes);

}  // namespace quorvel
