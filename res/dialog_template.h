#pragma once

#include <cstdint>
#include <span>

namespace quorvel::res {

// A dialog is laid out as a table of controls in dialog units, exactly as it is
// drawn; one small builder turns a table into widgets.

enum class ControlKind {
  PushButton,
  Edit,
  CheckBox,
  RadioButton,
  StaticText,
  StaticBitmap,
  ListBox,
  GroupBox,
};

// Style bits of a control.
enum ControlStyle : std::uint32_t {
  kNoStyle = 0,
  kTabStop = 1u << 0,
  kDefaultButton = 1u << 1,
  kBorder = 1u << 2,
  kReadOnly = 1u << 3,
  kAutoHScroll = 1u << 4,
  kMultiLine = 1u << 5,
  kVScroll = 1u << 6,
  kHScroll = 1u << 7,
  kGroup = 1u << 8,
  kNotify = 1u << 9,
  kSunken = 1u << 10,
  kNoIntegralHeight = 1u << 11,
  kAutomatic = 1u << 12,  // check box or radio button that toggles itself
};

inline constexpr int kNoId = -1;  // a control without identifier

struct Rect {
  int x, y, width, height;
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::uint32_t style;
  const char* text;  // caption; for a bitmap, the bitmap resource name
  Rect rect;         // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width, height;                          // dialog units
  std::span<const ControlTemplate> controls;  // template order = tab order
};

// Dialog 102: the main window.
const DialogTemplate& MainDialogTemplate();
// Dialog 131: "Edit Command".
const DialogTemplate& EditCommandDialogTemplate();
// Dialog 134: "About Quorvel". The link texts come from the build's publisher settings.
const DialogTemplate& AboutDialogTemplate();

// Resource identifiers.
inline constexpr int kIconResource = 128;
inline constexpr int kLogoBitmapResource = 132;
inline constexpr const char* kAboutMenuText = "&About";  // string 1

}  // namespace quorvel::res
