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
// The editor opens larger than its template and can be made larger still: the
// formula text takes a third of the extra height and the lists the rest; the
// three list columns share the extra width, and so do the buttons below them.
// Only the controls a keyboard needs are tab stops, in reading order: text,
// name, OK, Cancel, the three columns left to right, the buttons below.
constexpr Anchor kStay{0, 0, 0, 0};
constexpr Anchor kTextArea{0, 12, 0, 4};
constexpr Anchor kWideRow{0, 12, 4, 4};
constexpr Anchor kMiddleRow{0, 0, 4, 4};
constexpr Anchor kMiddleRowRight{12, 12, 4, 4};
constexpr Anchor kMiddleRowCentre{6, 6, 4, 4};
constexpr Anchor kFirstColumnLabel{0, 4, 4, 4};
constexpr Anchor kFirstColumn{0, 4, 4, 12};
constexpr Anchor kSecondColumnLabel{4, 8, 4, 4};
constexpr Anchor kSecondColumnTop{4, 4, 4, 4};
constexpr Anchor kSecondColumn{4, 8, 4, 12};
constexpr Anchor kThirdColumnLabel{8, 12, 4, 4};
constexpr Anchor kThirdColumn{8, 12, 4, 12};
constexpr Anchor kHelpLine{0, 12, 12, 12};
constexpr Anchor kBottomFirst{0, 3, 12, 12};
constexpr Anchor kBottomSecond{3, 6, 12, 12};
constexpr Anchor kBottomThird{6, 9, 12, 12};
constexpr Anchor kBottomFourth{9, 12, 12, 12};
constexpr uint32_t kPad = XEV_BS_PUSHBUTTON;  // a mouse convenience: the keyboard types these

constexpr DialogControl kEditorControls[] = {
    {100, "UxCtrlEdit", "", kMultiLineEdit | XEV_ES_NOHIDESEL | kBorder | kVScroll | kTab, 5, 5, 290, 58, false, kTextArea},
    {139, "UxCtrlEdit", "", XEV_ES_READONLY | XEV_ES_AUTOHSCROLL | kBorder, 5, 66, 290, 12, false, kWideRow},
    {115, "UxCtrlStatic", "For&mula Name", 0, 5, 84, 56, 8, false, kMiddleRow},
    {101, "UxCtrlEdit", "", XEV_ES_AUTOHSCROLL | kBorder | kTab, 62, 82, 118, 12, false, kWideRow},
    {1, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 190, 81, 50, 14, false, kMiddleRowRight},
    {2, "UxCtrlCommandButton", "Cancel", kPush, 245, 81, 50, 14, false, kMiddleRowRight},
    {-1, "UxCtrlGroupBox", "Edit", XEV_BS_GROUPBOX, 5, 99, 88, 47, false, kMiddleRow},
    {102, "UxCtrlCommandButton", "&Copy", kPad | kGroup, 10, 110, 38, 14, false, kMiddleRow},
    {103, "UxCtrlCommandButton", "Cu&t", kPad, 50, 110, 38, 14, false, kMiddleRow},
    {104, "UxCtrlCommandButton", "&Paste", kPad, 10, 127, 38, 14, false, kMiddleRow},
    {131, "UxCtrlCommandButton", "C&lear", kPad, 50, 127, 38, 14, false, kMiddleRow},
    {105, "UxCtrlCommandButton", "(...)", kPad | kGroup, 98, 110, 30, 14, false, kMiddleRow},
    {113, "UxCtrlGroupBox", "Operators", XEV_BS_GROUPBOX, 133, 99, 77, 30, false, kMiddleRowCentre},
    {108, "UxCtrlCommandButton", "+", kPad | kGroup, 138, 110, 16, 14, false, kMiddleRowCentre},
    {109, "UxCtrlCommandButton", "-", kPad, 155, 110, 16, 14, false, kMiddleRowCentre},
    {110, "UxCtrlCommandButton", "*", kPad, 172, 110, 16, 14, false, kMiddleRowCentre},
    {111, "UxCtrlCommandButton", "/", kPad, 189, 110, 16, 14, false, kMiddleRowCentre},
    {112, "UxCtrlCommandButton", "||", kPad, 138, 127, 33, 14, false, kMiddleRowCentre},
    {119, "UxCtrlGroupBox", "Numeric Pad", XEV_BS_GROUPBOX, 215, 99, 80, 64, false, kMiddleRowRight},
    {127, "UxCtrlCommandButton", "7", kPad | kGroup, 221, 109, 20, 12, false, kMiddleRowRight},
    {128, "UxCtrlCommandButton", "8", kPad, 244, 109, 20, 12, false, kMiddleRowRight},
    {129, "UxCtrlCommandButton", "9", kPad, 267, 109, 20, 12, false, kMiddleRowRight},
    {124, "UxCtrlCommandButton", "4", kPad, 221, 122, 20, 12, false, kMiddleRowRight},
    {125, "UxCtrlCommandButton", "5", kPad, 244, 122, 20, 12, false, kMiddleRowRight},
    {126, "UxCtrlCommandButton", "6", kPad, 267, 122, 20, 12, false, kMiddleRowRight},
    {121, "UxCtrlCommandButton", "1", kPad, 221, 135, 20, 12, false, kMiddleRowRight},
    {122, "UxCtrlCommandButton", "2", kPad, 244, 135, 20, 12, false, kMiddleRowRight},
    {123, "UxCtrlCommandButton", "3", kPad, 267, 135, 20, 12, false, kMiddleRowRight},
    {120, "UxCtrlCommandButton", "0", kPad, 221, 148, 43, 12, false, kMiddleRowRight},
    {130, "UxCtrlCommandButton", ".", kPad, 267, 148, 20, 12, false, kMiddleRowRight},
    {-1, "UxCtrlStatic", "Data &Items", 0, 5, 166, 75, 8, false, kFirstColumnLabel},
    {106, "UxCtrlListBox", "", kSortedList, 5, 176, 75, 50, false, kFirstColumn},
    {138, "UxCtrlStatic", "Editor &Mode", 0, 85, 166, 130, 8, false, kSecondColumnLabel},
    {134, "UxCtrlOptionButton", "Formula|formula|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON | kGroup | kTab, 85, 176, 44, 12, false, kSecondColumnTop},
    {135, "UxCtrlOptionButton", "Range|range|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON, 130, 176, 42, 12, false, kSecondColumnTop},
    {136, "UxCtrlOptionButton", "Set|set|0x00c0c0c0", XEV_BS_AUTORADIOBUTTON, 173, 176, 42, 12, false, kSecondColumnTop},
    {137, "UxCtrlStatic", "Form&ulas", 0, 85, 166, 130, 8, false, kSecondColumnLabel},
    {114, "UxCtrlListBox", "",
     XEV_LBS_SORT | XEV_LBS_NOTIFY | XEV_LBS_OWNERDRAWFIXED | XEV_LBS_HASSTRINGS | kVScroll | kBorder | kTab | kGroup,
     85, 176, 130, 50, false, kSecondColumn},
    {-1, "UxCtrlStatic", "&Functions", 0, 220, 166, 75, 8, false, kThirdColumnLabel},
    {107, "UxCtrlListBox", "", kSortedList, 220, 176, 75, 50, false, kThirdColumn},
    {140, "UxCtrlStatic", "", 0, 5, 230, 290, 21, false, kHelpLine},
    {116, "UxCtrlCommandButton", "&Delete", kPush | kGroup, 5, 255, 38, 14, false, kBottomFirst},
    {117, "UxCtrlCommandButton", "&Select Formula", kPush, 46, 255, 62, 14, false, kBottomSecond},
    {118, "UxCtrlCommandButton", "S&how Formula Text...", kPush, 111, 255, 82, 14, false, kBottomThird},
    {132, "UxCtrlCommandButton", "&Apply changes", kPush, 196, 255, 99, 14, true, kBottomFourth},
    {133, "UxCtrlCommandButton", "Data Item &Values Dialog...", kPush, 196, 255, 99, 14, false, kBottomFourth},
};

// ---- The error dialogs -------------------------------------------------------------
constexpr uint32_t kErrorText = kMultiLineEdit | kBorder | kVScroll | XEV_ES_NOHIDESEL | kTab;

constexpr DialogControl kErrorControls[] = {
    {200, "UxCtrlEdit", "", kErrorText, -1, -1, 203, 39, false, kStay},
    {201, "UxCtrlStatic", "", XEV_SS_CENTER, 1, 44, 200, 24, false, kStay},
    {202, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 81, 71, 43, 14, false, kStay},
};

constexpr DialogControl kLoadErrorControls[] = {
    {200, "UxCtrlEdit", "", kErrorText, -1, -1, 203, 39, false, kStay},
    {201, "UxCtrlStatic", "", XEV_SS_CENTER, 1, 44, 200, 24, false, kStay},
    {-1, "UxCtrlStatic",
     "The above error occured while loading, please correct the error to continue loading formulas.",
     XEV_SS_CENTER, 1, 79, 200, 25, false, kStay},
    {202, "UxCtrlCommandButton", "OK", XEV_BS_DEFPUSHBUTTON | kTab, 80, 114, 43, 14, false, kStay},
};

// ---- The editor's companions ---------------------------------------------------------
// Each opens large enough for its title and a useful part of its text or list, which
// grow with it.
constexpr Anchor kFill{0, 12, 0, 12};

constexpr DialogControl kTextViewControls[] = {
    {100, "UxCtrlEdit", "", XEV_ES_MULTILINE | kVScroll | kBorder | kTab, -1, -1, 182, 52, false, kFill},
};

constexpr DialogControl kValueListControls[] = {
    {-1, "UxCtrlStatic", "Values", 0, 0, 0, 0, 0, false, kStay},
    {100, "UxCtrlListBox", "", XEV_LBS_NOTIFY | XEV_LBS_SORT | kVScroll | kBorder | kTab, 5, 5, 90, 60, false, kFill},
};

#define XEV_CONTROLS(array) array, static_cast<int32_t>(std::size(array))

constexpr DialogTemplate kTemplates[] = {
    {"EXPBILD", "Formula Editor", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 20, 20, 300, 273,
     XEV_CONTROLS(kEditorControls), 110, 70},
    {"DLGERROR", "Formula Information", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 58, 22, 202, 89,
     XEV_CONTROLS(kErrorControls), 0, 0},
    {"DLGFERROR", "Formula Information", "UxCtrlBorDialog", kFont, 8, kDialogStyle, 58, 22, 202, 135,
     XEV_CONTROLS(kLoadErrorControls), 0, 0},
    {"EXPTEXTVIEW", "Formula Text", "UxCtrlBorDialog", kFont, 8, kDialogStyle | XEV_WS_VISIBLE, 150, 100, 180, 50,
     XEV_CONTROLS(kTextViewControls), 80, 40},
    {"LISTVALUES", "Values", "UxCtrlBorDialog", kFont, 8, kDialogStyle | XEV_WS_VISIBLE, 20, 100, 100, 70,
     XEV_CONTROLS(kValueListControls), 60, 50},
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
