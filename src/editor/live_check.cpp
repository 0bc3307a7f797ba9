// Checking as the person types: a pause after the last change parses the
// formula text without saving it, marks the first error's span for the front
// end to underline and puts its message on the help line. Saving (OK) checks
// and reports exactly as before; this only shows early what OK would say.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "editor/editor_view.h"
#include "language/language.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr uint32_t kLiveCheckDelayMs = 600;
constexpr int32_t kMessageSize = 256;

void Mark(HWND dialog, int32_t start, int32_t end) {
  SendDlgItemMessageA(dialog, kIdFormulaText, XEV_EM_SETMARK, static_cast<WPARAM>(start), end);
}

// Parses text in the editor's context and forgets the tree; the error record
// that the error dialogs show is left as it was.
bool Parses(ExprContext* ec, const char* text, ExprError* found) {
  ExprError kept = language::ParseError();
  language::ScannerReset(text, ec, false);
  bool failed = language::ParseTokens() != 0;
  if (failed) {
    *found = language::ParseError();
    uint32_t pos = 0, len = 0;
    if (language::RejectedDate(&pos, &len)) *found = ExprError{XEV_ERR_INVALIDDATE, pos, len};
  }
  language::ReleaseTree(ec, language::TakeParseRoot());
  language::ParseError() = kept;
  return !failed;
}

// The text as OK would parse it: in Set mode up to the repeat placeholder.
char* TextToCheck(HWND dialog) {
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  int32_t length = GetWindowTextLengthA(edit);
  auto* text = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (text == nullptr) return nullptr;
  GetWindowTextA(edit, text, length + 1);
  const EditorState& e = Editor();
  if (e.mode == kModeSet)
    if (char* repeat = std::strstr(text, e.expressionRepeat)) *repeat = 0;
  return text;
}

// The error's message, and after it the hint the report tool gives for the
// same error where the library can tell the cause ("did you mean Unit_Price?").
void ShowMessage(HWND dialog, const char* text, const ExprError& error) {
  char message[kMessageSize];
  LoadLabel(error.code, message, sizeof message);
  char name[kNameSize] = {};
  GetWindowTextA(GetDlgItem(dialog, kIdName), name, sizeof name);
  char hint[kMessageSize] = {};
  if (XEVFormulaHint(Editor().ec, name, text, &error, hint, sizeof hint) <= 0) {
    SetDlgItemTextA(dialog, kIdHelp, message);
    return;
  }
  char line[2 * kMessageSize + 2];
  std::snprintf(line, sizeof line, "%s; %s", message, hint);
  SetDlgItemTextA(dialog, kIdHelp, line);
}

void ShowError(HWND dialog, const char* text, const ExprError& error) {
  auto textLength = static_cast<uint32_t>(std::strlen(text));
  uint32_t start = error.pos < textLength ? error.pos : textLength;
  uint32_t end = start + error.len < textLength ? start + error.len : textLength;
  // A span at the very end (a missing ")") still shows: the last character.
  if (end == start && start > 0) --start;
  Mark(dialog, static_cast<int32_t>(start), static_cast<int32_t>(end));
  ShowMessage(dialog, text, error);
}

}  // namespace

void ScheduleLiveCheck(HWND dialog) {
  if (InLoadFix()) return;
  Mark(dialog, 0, 0);
  SetTimer(dialog, kLiveCheckTimer, kLiveCheckDelayMs, nullptr);
}

void RunLiveCheck(HWND dialog) {
  KillTimer(dialog, kLiveCheckTimer);
  ExprContext* ec = Editor().ec;
  char* text = ec != nullptr ? TextToCheck(dialog) : nullptr;
  if (text == nullptr) return;
  ExprError error{};
  // While placeholders remain the formula is still being built: no verdict yet.
  if (text[0] != 0 && !HoldsPlaceholder(text) && !Parses(ec, text, &error))
    ShowError(dialog, text, error);
  HostFree(text);
}

}  // namespace xev::editor
