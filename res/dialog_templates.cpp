#include "res/dialog_template.h"

#include "res/publisher.h"

namespace quorvel::res {
namespace {

constexpr std::uint32_t kButton = kTabStop;
constexpr std::uint32_t kSingleEdit = kBorder | kAutoHScroll | kTabStop;

// A larger main window gives a third of its extra width to the command column and the
// rest to the output column; the output list takes three fifths of the extra height, the
// details pane below it the rest; the command list takes all of it, and the settings
// below it move down.
constexpr int kColumnSplit = 33;
constexpr int kOutputSplit = 60;
constexpr Stretch kCommandColumn{0, 0, kColumnSplit, 100};
constexpr Stretch kBelowCommandColumn{0, 100, kColumnSplit, 100};
constexpr Stretch kAtTheBottom{0, 100, 0, 100};
constexpr Stretch kOutputColumnTop{kColumnSplit, 0, 100, kOutputSplit};
constexpr Stretch kOutputColumnBottom{kColumnSplit, kOutputSplit, 100, 100};

constexpr ControlTemplate kMainControls[] = {
    {1, ControlKind::PushButton, kDefaultButton | kTabStop, "Quit", {5, 65, 50, 14}},
    {1000, ControlKind::PushButton, kButton, "&Reset", {5, 45, 50, 14}},
    {1003, ControlKind::Edit, kReadOnly | kSingleEdit, "", {5, 130, 50, 12}},
    {1008, ControlKind::Edit, kSingleEdit, "", {45, 155, 155, 12}, kBelowCommandColumn},
    {1012, ControlKind::Edit, kSingleEdit, "", {45, 175, 155, 12}, kBelowCommandColumn},
    {1013, ControlKind::CheckBox, kAutomatic | kTabStop, "Inv", {5, 90, 26, 10}},
    {1009, ControlKind::PushButton, kButton, "Load", {75, 15, 50, 14}},
    {1010, ControlKind::PushButton, kButton, "Save", {135, 15, 50, 14}},
    {1014, ControlKind::PushButton, kButton, "New", {75, 35, 50, 14}},
    {1015, ControlKind::PushButton, kButton, "Edit", {135, 70, 50, 14}},
    {1016, ControlKind::PushButton, kButton, "Execute", {75, 70, 50, 14}},
    {kNoId, ControlKind::StaticText, kGroup, "Reset:", {6, 157, 22, 8}, kAtTheBottom},
    {kNoId, ControlKind::StaticText, kGroup, "Execute:", {5, 176, 29, 8}, kAtTheBottom},
    {1002,
     ControlKind::ListBox,
     kNotify | kVScroll | kBorder | kNoIntegralHeight | kTabStop,
     "",
     {205, 10, 190, 112},
     kOutputColumnTop},
    {kDetailsPane,
     ControlKind::Edit,
     kMultiLine | kReadOnly | kVScroll | kBorder | kTabStop,
     "",
     {205, 126, 190, 64},
     kOutputColumnBottom},
    {kNoId, ControlKind::StaticBitmap, kNotify, "logo", {5, 5, 53, 31}},
    {1020,
     ControlKind::ListBox,
     kNotify | kVScroll | kHScroll | kBorder | kNoIntegralHeight | kTabStop,
     "",
     {75, 95, 110, 55},
     kCommandColumn},
    {kNoId, ControlKind::GroupBox, kNoStyle, "SCC file", {70, 5, 120, 50}},
    {kNoId, ControlKind::GroupBox, kNoStyle, "Command", {70, 60, 120, 30}},
    {1022, ControlKind::CheckBox, kAutomatic | kTabStop, "Bin", {35, 90, 26, 10}},
    {1023, ControlKind::PushButton, kButton, "&Browse", {5, 110, 50, 14}},
};

constexpr ControlTemplate kEditCommandControls[] = {
    {1, ControlKind::PushButton, kDefaultButton | kTabStop, "OK", {185, 10, 50, 14}},
    {2, ControlKind::PushButton, kButton, "Cancel", {185, 30, 50, 14}},
    {kNoId, ControlKind::StaticText, kGroup, "Command:", {10, 10, 34, 8}},
    {1003, ControlKind::Edit, kSingleEdit, "", {10, 20, 58, 12}},
    {kNoId, ControlKind::StaticText, kGroup, "Command Message:", {10, 40, 65, 8}},
    {1008,
     ControlKind::Edit,
     kMultiLine | kBorder | kVScroll | kTabStop | kAutoHScroll,
     "",
     {10, 55, 140, 65}},
    {kNoId, ControlKind::GroupBox, kNoStyle, "Msg Direction", {160, 70, 75, 50}},
    {1017, ControlKind::RadioButton, kAutomatic, "To Smartcard", {165, 85, 59, 10}},
    {1018, ControlKind::RadioButton, kAutomatic, "From Smartcard", {165, 100, 65, 10}},
    {1000, ControlKind::PushButton, kButton, "Delete", {185, 50, 50, 14}},
    {kNoId, ControlKind::StaticText, kGroup, "Comment:", {75, 10, 32, 8}},
    {1012, ControlKind::Edit, kSingleEdit, "", {75, 20, 75, 12}},
};

constexpr ControlTemplate kAboutControls[] = {
    {1, ControlKind::PushButton, kDefaultButton | kTabStop, "OK", {123, 41, 50, 14}},
    {kNoId, ControlKind::StaticBitmap, kSunken, "logo", {120, 5, 55, 32}},
    {1024, ControlKind::StaticText, kGroup, kPublisherName, {10, 10, 68, 8}},
    {1025, ControlKind::StaticText, kGroup, kFirstMailLink, {10, 25, 94, 8}},
    {1026, ControlKind::StaticText, kGroup, kSecondMailLink, {10, 40, 79, 8}},
};

constexpr DialogTemplate kMain{102, "Quorvel", 402, 196, kMainControls};
constexpr DialogTemplate kEditCommand{131, "Edit Command", 252, 135, kEditCommandControls};
constexpr DialogTemplate kAbout{134, "About Quorvel", 182, 61, kAboutControls};

}  // namespace

Rect Stretched(const Rect& rect, const Stretch& stretch, int extraWidth, int extraHeight) {
  const int left = rect.x + extraWidth * stretch.left / 100;
  const int top = rect.y + extraHeight * stretch.top / 100;
  const int right = rect.x + rect.width + extraWidth * stretch.right / 100;
  const int bottom = rect.y + rect.height + extraHeight * stretch.bottom / 100;
  return Rect{left, top, right - left, bottom - top};
}

const DialogTemplate& MainDialogTemplate() {
  return kMain;
}
const DialogTemplate& EditCommandDialogTemplate() {
  return kEditCommand;
}
const DialogTemplate& AboutDialogTemplate() {
  return kAbout;
}

}  // namespace quorvel::res
