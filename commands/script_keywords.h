#pragma once

namespace quorvel {

// The words of a command script's lines other than commands, read in any case.
inline constexpr const char* kLogKeyword = "log";
inline constexpr const char* kBinKeyword = "bin";
inline constexpr const char* kInvKeyword = "inv";
inline constexpr const char* kResetSettingsKeyword = "reset settings";
inline constexpr const char* kExecuteSettingsKeyword = "execute settings";
inline constexpr const char* kSecondLogKeyword = "second log";
inline constexpr const char* kSecondResetSettingsKeyword = "second reset settings";
inline constexpr const char* kSecondExecuteSettingsKeyword = "second execute settings";
inline constexpr const char* kReservedWordKeyword = "reserved word";
inline constexpr const char* kReservedBlockKeyword = "reserved block";
inline constexpr const char* kCountKeyword = "count";
inline constexpr const char* kSccAtKeyword = "scc at";
inline constexpr const char* kAtKeyword = "at";
inline constexpr const char* kTrailingKeyword = "trailing";
inline constexpr const char* kResetKeyword = "reset";
inline constexpr const char* kExitKeyword = "exit";
inline constexpr const char* kLeKeyword = "Le";
inline constexpr const char* kSwitchOn = "on";
inline constexpr const char* kSwitchOff = "off";

}  // namespace quorvel
