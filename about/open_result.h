#pragma once

namespace quorvel {

// Results of opening a link target: above 32 the target was opened, 32 or less
// is an error code. The codes keep the values users of the program know from
// its messages.
inline constexpr int kOpened = 33;

inline constexpr int kErrorOutOfResources = 0;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int ERROR_PATH_NOT_FOUND = 3;
inline constexpr int SE_ERR_ACCESSDENIED = 5;
inline constexpr int SE_ERR_OOM = 8;
inline constexpr int ERROR_BAD_FORMAT = 11;
inline constexpr int ERROR_BAD_LENGTH = 24;  // a command line too long to start
inline constexpr int SE_ERR_SHARE = 26;
inline constexpr int SE_ERR_ASSOCINCOMPLETE = 27;
inline constexpr int SE_ERR_DDETIMEOUT = 28;
inline constexpr int SE_ERR_DDEFAIL = 29;
inline constexpr int SE_ERR_DDEBUSY = 30;
inline constexpr int SE_ERR_NOASSOC = 31;
inline constexpr int SE_ERR_DLLNOTFOUND = 32;

constexpr bool IsOpened(int result) {
  return result > 32;
}

}  // namespace quorvel
