// The dialogs of the library: the formula editor, the two error dialogs, the
// text view and the value list.
#include "resources/dialog_templates.h"

#include <iterator>

#include "platform/platform.h"
#include "xev/xevui.h"

namespace xev::resources {
namespace {

constexpr uint32_t kTab = XEV_WS_TABSTOP;
constexpr uint32_t kGroup = XEV_WS_GROUP;
constexpr uint32_t kBorder = XEV_WS_BORDER;
constexpr uint32_t kVScroll = XEV_WS_VSCROLL;
constexpr uint32_t kModalFrame = 0x80;  // DS_MODALFRAME
constexpr uint32_t kDialogStyle = XEV_WS_POPUP | XEV_WS_CAPTION | XEV_WS_SYSMENU | kModalFrame;
constexpr uint32_t kMultiLineEdit = XEV_ES_MULTILINE | XEV_ES_AUTOVSCROLL;
constexpr uint32_t kPush = XEV_BS_PUSHBUTTON | kTab;
constexpr uint32_t kSortedList = XEV_LBS_SORT | XEV_LBS_NOTIFY | kVScroll | kBorder | kTab;

constexpr const char* kFont = "MS SANS SERIF";

// ---- The formula editor ----------------------------------------------------------
constexpr DialogControl kEditorControls[] = {
    {100, "UxCtrlEdit", "", kMultiLineEdit | XEV_ES_NOHIDESEL | kBorder | kVScroll | kTab, 5, 5, 290, 58, false},
    {139, "UxCtrlEdit", "", XEV_ES_READONLY | XEV_ES_AUTOHSCROLL | kBorder, 5, 66, 290, 12, false},
    {115, "UxCtrlStatic", "For&mula Name", 0, 5, 84, 56, 8, false},
    {101, "UxCtrlEdit", "", XEV_ES_AUTOHSCROLL | kBorder | kTab, 62, 82, 118, 12, false},
    {1, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 190, 81, 50, 14, false},
    {2, "UxCtrlCommandButton", "Cancel", kPush, 245, 81, 50, 14, false},
    {-1, "UxCtrlGroupBox", "Edit", XEV_BS_GROUPBOX, 5, 99, 88, 47, false},
    {102, "UxCtrlCommandButton", "&Copy", kPush | kGroup, 10, 110, 38, 14, false},
    {103, "UxCtrlCommandButton", "Cu&t", kPush, 50, 110, 38, 14, false},
    {104, "UxCtrlCommandButton", "&Paste", kPush, 10, 127, 38, 14, false},
    {131, "UxCtrlCommandButton", "C&lear", kPush, 50, 127, 38, 14, false},
    {105, "UxCtrlCommandButton", "(...)", kPush | kGroup, 98, 110, 30, 14, false},
    {113, "UxCtrlGroupBox", "Operators", XEV_BS_GROUPBOX, 133, 99, 77, 30, false},
    {108, "UxCtrlCommandButton", "+", kPush | kGroup, 138, 110, 16, 14, false},
    {109, "UxCtrlCommandButton", "-", kPush, 155, 110, 16, 14, false},
    {110, "UxCtrlCommandButton", "*", kPush, 172, 110, 16, 14, false},
    {111, "UxCtrlCommandButton", "/", kPush, 189, 110, 16, 14, false},
    {112, "UxCtrlCommandButton", "||", kPush, 138, 127, 33, 14, false},
    {119, "UxCtrlGroupBox", "Numeric Pad", XEV_BS_GROUPBOX, 215, 99, 80, 64, false},
    {127, "UxCtrlCommandButton", "7", kPush | kGroup, 221, 109, 20, 12, false},
    {128, "UxCtrlCommandButton", "8", kPush, 244, 109, 20, 12, false},
    {129, "UxCtrlCommandButton", "9", kPush, 267, 109, 20, 12, false},
    {124, "UxCtrlCommandButton", "4", kPush, 221, 122, 20, 12, false},
    {125, "UxCtrlCommandButton", "5", kPush, 244, 122, 20, 12, false},
    {126, "UxCtrlCommandButton", "6", kPush, 267, 122, 20, 12, false},
    {121, "UxCtrlCommandButton", "1", kPush, 221, 135, 20, 12, false},
    {122, "UxCtrlCommandButton", "2", kPush, 244, 135, 20, 12, false},
    {123, "UxCtrlCommandButton", "3", kPush, 267, 135, 20, 12, false},
    {120, "UxCtrlCommandButton", "0", kPush, 221, 148, 43, 12, false},
    {130, "UxCtrlCommandButton", ".", kPush, 267, 148, 20, 12, false},
    {-1, "UxCtrlStatic", "Data &Items", 0, 5, 166, 75, 8, false},
    {106, "UxCtrlListBox", "", kSortedList, 5, 176, 75, 74, false},
    {-1, "UxCtrlStatic", "&Functions", 0, 85, 166, 75, 8, false},
    {107, "UxCtrlListBox", "", kSortedList, 85, 176, 75, 74, false},
    {138, "UxCtrlStatic", "Editor &Mode", 0, 165, 166, 130, 8, false},
    {134, "UxCtrlOptionButton", "Formula|formula|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON | kGroup | kTab, 165, 176, 44, 12, false},
    {135, "UxCtrlOptionButton", "Range|range|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON, 210, 176, 42, 12, false},
    {136, "UxCtrlOptionButton", "Set|set|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON, 253, 176, 42, 12, false},
    {137, "UxCtrlStatic", "Form&ulas", 0, 165, 166, 130, 8, false},
    {114, "UxCtrlListBox", "",
     XEV_LBS_SORT | XEV_LBS_NOTIFY | XEV_LBS_OWNERDRAWFIXED | XEV_LBS_HASSTRINGS | kVScroll | kBorder | kTab | kGroup,
     165, 176, 130, 74, false},
    {116, "UxCtrlCommandButton", "&Delete", kPush | kGroup, 5, 255, 38, 14, false},
    {117, "UxCtrlCommandButton", "&Select Formula", kPush, 46, 255, 62, 14, false},
    {118, "UxCtrlCommandButton", "S&how Formula Text...", kPush, 111, 255, 82, 14, false},
    {132, "UxCtrlCommandButton", "&Apply changes", kPush, 196, 255, 99, 14, true},
    {133, "UxCtrlCommandButton", "Data Item &Values Dialog...", kPush, 196, 255, 99, 14, false},
};

// ---- The error dialogs -------------------------------------------------------------
constexpr uint32_t kErrorText = kMultiLineEdit | kBorder | kVScroll | XEV_ES_NOHIDESEL | kTab;

constexpr DialogControl kErrorControls[] = {
    {200, "UxCtrlEdit", "", kErrorText, -1, -1, 203, 39, false},
    {201, "UxCtrlStatic", "", XEV_SS_CENTER, 1, 44, 200, 24, false},
    {202, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 81, 71, 43, 14, false},
};

constexpr DialogControl kLoadErrorControls[] = {
    {200, "UxCtrlEdit", "", kErrorText, -1, -1, 203, 39, false},
    {201, "UxCtrlStatic", "", XEV_SS_CENTER, 1, 44, 200, 24, false},
    {-1, "UxCtrlStatic",
     "The above error occured while loading, please correct the error to continue loading formulas.",
     XEV_SS_CENTER, 1, 79, 200, 25, false},
    {202, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 80, 114, 43, 14, false},
};

// ---- The editor's companions ---------------------------------------------------------
constexpr DialogControl kTextViewControls[] = {
    {100, "UxCtrlEdit", "", XEV_ES_MULTILINE | kVScroll | kBorder | kTab, -1, -1, 182, 52, false},
};

constexpr DialogControl kValueListControls[] = {
    {-1, "UxCtrlStatic", "Values", 0, 0, 0, 0, 0, false},
    {100, "UxCtrlListBox", "", XEV_LBS_NOTIFY | XEV_LBS_SORT | kVScroll | kBorder | kTab, 5, 5, 90, 60, false},
};

#define XEV_CONTROLS(array) array, static_cast<int32_t>(std::size(array))

constexpr DialogTemplate kTemplates[] = {
    {"EXPBILD", "Formula Editor", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 20, 20, 300, 273,
     XEV_CONTROLS(kEditorControls)},
    {"DLGERROR", "Formula Information", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 58, 22, 202, 89,
     XEV_CONTROLS(kErrorControls)},
    {"DLGFERROR", "Formula Information", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 58, 22, 202, 135,
     XEV_CONTROLS(kLoadErrorControls)},
    {"EXPTEXTVIEW", "Formula Text", "UxCtrlBorDialog", kFont, 8, kDialogStyle | XEV_WS_VISIBLE, 150, 100, 180, 50,
     XEV_CONTROLS(kTextViewControls)},
    {"LISTVALUES", "Values", "UxCtrlBorDialog", kFont, 8, kDialogStyle | XEV_WS_VISIBLE, 20, 100, 100, 70,
     XEV_CONTROLS(kValueListControls)},
};

#undef XEV_CONTROLS

}  // namespace

const DialogTemplate* FindDialogTemplate(const char* name) {
  if (name == nullptr) return nullptr;
  for (const DialogTemplate& t : kTemplates)
    if (platform::lstrcmpiA(t.name, name) == 0) return &t;
  return nullptr;
}

}  // namespace xev::resources
