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

// How a control follows a window made larger than its template: each of its edges moves
// by its share, in percent, of the extra width (left, right) or height (top, bottom).
// Controls that share an edge give it the same share, so they stay flush.
struct Stretch {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::uint32_t style;
  const char* text;   // caption; for a bitmap, the bitmap resource name
  Rect rect;          // dialog units
  Stretch stretch{};  // none: the control keeps its place and size
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width, height;                          // dialog units
  std::span<const ControlTemplate> controls;  // template order = tab order
};

// `rect` (pixels) in a window `extraWidth` and `extraHeight` pixels larger than its template.
Rect Stretched(const Rect& rect, const Stretch& stretch, int extraWidth, int extraHeight);

// Dialog 102: the main window. It can be made larger than its template: the output list,
// the details pane below it and the command list grow with it.
const DialogTemplate& MainDialogTemplate();
// Dialog 131: "Edit Command".
const DialogTemplate& EditCommandDialogTemplate();
// Dialog 134: "About Quorvel". The link texts come from the build's publisher settings.
const DialogTemplate& AboutDialogTemplate();

// Resource identifiers.
inline constexpr int kIconResource = 128;
inline constexpr int kLogoBitmapResource = 132;
inline constexpr const char* kAboutMenuText = "&About";  // string 1

// The main window's details pane: the explanation of the selected output row.
inline constexpr int kDetailsPane = 1030;

}  // namespace quorvel::res
