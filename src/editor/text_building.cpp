// Building formula text by picking: what a pick puts into the formula edit,
// the call templates of functions, and finding the placeholder the next pick
// should replace. Offsets are bytes of the host's code page.
#include <cstring>
#include <initializer_list>

#include "core/core.h"
#include "editor/editor_state.h"
#include "platform/platform.h"
#include "xev/xevhost.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

// A placeholder is never this long, so a longer selection is plain text the
// user chose to overwrite and is not worth comparing.
constexpr int32_t kComparedSelectionLimit = 40;
constexpr uint16_t kTakesDistinct = 0x10;
constexpr char kDistinct[] = "DISTINCT ";
constexpr char kTokenDelimiters[] = " \t\r()*+-/|%,";
constexpr int32_t kQuote = '"';
constexpr uint32_t kPlaceholderLabelIds[] = {227, 228, 229, 230, 231};  // the five type labels

struct Selection {
  int32_t start = 0;
  int32_t end = 0;
};

Selection SelectionIn(HWND edit, size_t textLength) {
  uint32_t start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  auto limit = static_cast<uint32_t>(textLength);
  if (end > limit) end = limit;
  if (start > end) start = end;
  return {static_cast<int32_t>(start), static_cast<int32_t>(end)};
}

void Select(HWND edit, int32_t start, int32_t end) {
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

struct Piece {
  const char* bytes;
  size_t length;
};

// The pieces end to end in one HostAlloc block, or null when memory is short.
char* Join(std::initializer_list<Piece> pieces) {
  size_t total = 0;
  for (const Piece& piece : pieces) total += piece.length;
  auto* joined = static_cast<char*>(HostAlloc(total + 1));
  if (joined == nullptr) return nullptr;
  char* out = joined;
  for (const Piece& piece : pieces) {
    if (piece.length != 0) std::memcpy(out, piece.bytes, piece.length);
    out += piece.length;
  }
  *out = 0;
  return joined;
}

Piece Whole(const char* text) { return {text, std::strlen(text)}; }

// The edit takes the new text as a whole; when it cannot store it, its text
// is still the old one.
bool ReplaceText(HWND edit, const char* text) { return SetWindowTextA(edit, text) != 0; }

void MarkChanged(HWND edit, int32_t caret) {
  Select(edit, caret, caret);
  SetFocus(edit);
  SendMessageA(edit, EM_SETMODIFY, 1, 0);
}

// What replacing a selected repeat placeholder needs: a comma before the new
// value, and in Set mode the placeholder again at the end for further values.
struct RepeatRule {
  bool comma = false;
  bool appendAgain = false;
};

RepeatRule RepeatRuleFor(const char* selected, int32_t length) {
  if (length <= 0 || length >= kComparedSelectionLimit) return {};
  char copy[kComparedSelectionLimit];
  std::memcpy(copy, selected, static_cast<size_t>(length));
  copy[length] = 0;
  const EditorState& editor = Editor();
  if (HostStrEqual(copy, editor.argumentRepeat) != 0) return {true, false};
  if (editor.mode == kModeSet && HostStrEqual(copy, editor.expressionRepeat) != 0) return {true, true};
  return {};
}

// Returns where the inserted text starts (after a comma the rules put in), or
// -1 when nothing changed.
int32_t InsertAtSelection(HWND edit, const char* text, size_t length) {
  if (edit == nullptr || text == nullptr) return -1;
  char* old = CopyWindowText(edit);
  if (old == nullptr) return -1;
  size_t oldLength = std::strlen(old);
  Selection selection = SelectionIn(edit, oldLength);
  RepeatRule rule = RepeatRuleFor(old + selection.start, selection.end - selection.start);
  const char* again = Editor().expressionRepeat;
  auto start = static_cast<size_t>(selection.start), end = static_cast<size_t>(selection.end);
  char* joined = Join({{old, start},
                       {",", rule.comma ? 1u : 0u},
                       {text, length},
                       {old + end, oldLength - end},
                       {" ", rule.appendAgain ? 1u : 0u},
                       {again, rule.appendAgain ? std::strlen(again) : 0u}});
  HostFree(old);
  if (joined == nullptr) return -1;
  bool replaced = ReplaceText(edit, joined);
  HostFree(joined);
  if (!replaced) return -1;
  auto insertedAt = static_cast<int32_t>(start + (rule.comma ? 1 : 0));
  MarkChanged(edit, insertedAt + static_cast<int32_t>(length));
  // The dialog re-evaluates OK on the change, and once this pick is done
  // looks for the placeholder the next pick should replace.
  HWND dialog = GetParent(edit);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kIdFormulaText, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
  PostMessageA(dialog, kMsgNextPlaceholder, 0, 0);
  return insertedAt;
}

// ---- Call templates -----------------------------------------------------------

// Writes what fits into a caller's buffer while counting everything, so one
// walk both measures a template and builds it.
class TemplateWriter {
 public:
  TemplateWriter(char* buffer, int32_t size) : buffer_(buffer), size_(size > 0 ? size : 0) {}
  void Add(const char* text) {
    for (; *text != 0; ++text, ++used_)
      if (used_ + 1 < size_) buffer_[used_] = *text;
  }
  void Finish() {
    if (size_ > 0) buffer_[used_ < size_ ? used_ : size_ - 1] = 0;
  }
  bool Fits() const { return used_ < size_; }
  int32_t Length() const { return used_; }

 private:
  char* buffer_;
  int32_t size_;
  int32_t used_ = 0;
};

// A function record holds only paramCount entries; one past them has no type.
const char* ParameterLabel(const ExpItem* function, int32_t entry, char* buffer) {
  int32_t type = entry < function->paramCount ? function->params[entry].type : XEV_TYPE_ANY;
  return TypeLabel(type, buffer);
}

void WriteCallTemplate(const ExpItem* function, TemplateWriter& out) {
  const int32_t count = function->paramCount;
  if (count < 0) return;  // written without parentheses
  const int32_t optionalStart = function->subclass;
  const int32_t optionalCount = function->subclass2;
  const int32_t shown = count > optionalStart + optionalCount ? count : optionalStart + optionalCount;
  char label[kTypeLabelSize];
  out.Add("(");
  if ((function->flags & kTakesDistinct) != 0) out.Add(kDistinct);
  if (optionalStart == 0 && optionalCount != 0) out.Add("[");
  for (int32_t i = 0; i < shown; ++i) {
    out.Add(" ");
    out.Add(ParameterLabel(function, i < count ? i : optionalStart, label));
    out.Add(" ");
    if (i == shown - 1) continue;
    if (optionalStart != 0 && optionalCount != 0 && i >= optionalStart - 1) out.Add("[");
    out.Add(",");
  }
  if (optionalStart != 0 && optionalCount == 0) {
    out.Add("[");
    TypeLabel(XEV_TYPE_ANY, label);
    for (int32_t i = 0; i < count - optionalStart; ++i) {
      out.Add(",");
      out.Add(label);
    }
    out.Add("...] ");
  } else if (optionalStart != 0) {
    for (int32_t i = 0; i < optionalCount; ++i) out.Add("]");
  } else if (optionalCount != 0) {
    out.Add("] ");
  }
  out.Add(")");
}

// Where the first parameter label starts, counted from the end of the name.
int32_t FirstLabelOffset(const ExpItem* function) {
  int32_t offset = 2;  // "(" and the blank before the label
  if ((function->flags & kTakesDistinct) != 0) offset += static_cast<int32_t>(std::strlen(kDistinct));
  if (function->subclass == 0 && function->subclass2 != 0) offset += 1;  // the opening "["
  return offset;
}

void InsertFunctionCall(HWND edit, const char* name) {
  ExprContext* ec = Editor().ec;
  if (ec == nullptr) return;
  const ExpItem* function = core::FindItem(ec->functionItems, name);
  if (function == nullptr) return;
  TemplateWriter measure(nullptr, 0);
  WriteCallTemplate(function, measure);
  size_t nameLength = std::strlen(name);
  auto* call = static_cast<char*>(HostAlloc(nameLength + static_cast<size_t>(measure.Length()) + 1));
  if (call == nullptr) return;
  std::memcpy(call, name, nameLength);
  TemplateWriter out(call + nameLength, measure.Length() + 1);
  WriteCallTemplate(function, out);
  out.Finish();
  // The first label stays selected, so the placeholder scan that follows
  // keeps it and the next pick replaces it.
  char label[kTypeLabelSize];
  const bool selectLabel = function->paramCount >= 1;
  const int32_t labelOffset = static_cast<int32_t>(nameLength) + FirstLabelOffset(function);
  const auto labelLength = selectLabel ? static_cast<int32_t>(std::strlen(ParameterLabel(function, 0, label))) : 0;
  int32_t insertedAt = InsertAtSelection(edit, call, nameLength + static_cast<size_t>(measure.Length()));
  HostFree(call);
  if (insertedAt < 0 || !selectLabel) return;
  Select(edit, insertedAt + labelOffset, insertedAt + labelOffset + labelLength);
}

void InsertFormulaCall(HWND edit, const char* name) {
  HEXP exp = ExpressionNamed(name);
  // A formula cannot call itself, and ranges and sets are no values to call.
  if (exp == nullptr || exp == Editor().current || KindOf(exp) != kKindFormula) return;
  char* call = Join({Whole(name), Whole("()")});
  if (call == nullptr) return;
  InsertAtSelection(edit, call, std::strlen(call));
  HostFree(call);
}

// ---- Placeholder scan ------------------------------------------------------------

bool IsPlaceholderToken(const char* token) {
  const EditorState& editor = Editor();
  if (editor.mode != kModeFormula && HostStrEqual(token, editor.placeholder) != 0) return true;
  char label[kTypeLabelSize];
  for (uint32_t id : kPlaceholderLabelIds)
    if (HostStrEqual(token, LoadLabel(id, label, kTypeLabelSize)) != 0) return true;
  return false;
}

// The first placeholder token as a selection; start -1 when there is none.
// token has room for the whole text.
Selection FindPlaceholderToken(const char* text, char* token) {
  for (int32_t at = 0; text[at] != 0;) {
    int32_t consumed = HostNextToken(token, text + at, kTokenDelimiters, kTokenDelimiters, 0, kQuote, 0);
    if (consumed <= 0) break;
    auto tokenLength = static_cast<int32_t>(std::strlen(token));
    if (tokenLength > 0 && IsPlaceholderToken(token)) return {at + consumed - tokenLength, at + consumed};
    at += consumed;
  }
  return {-1, -1};
}

}  // namespace

bool HoldsPlaceholder(const char* text) {
  size_t length = std::strlen(text);
  auto* token = static_cast<char*>(HostAlloc(length + 1));
  if (token == nullptr) return true;  // no verdict without memory
  bool holds = FindPlaceholderToken(text, token).start >= 0;
  HostFree(token);
  return holds || std::strstr(text, Editor().argumentRepeat) != nullptr;
}

namespace {

// Byte offset of the first occurrence that starts on a character, or -1.
int32_t FindSubstring(const char* text, const char* pattern) {
  size_t length = std::strlen(pattern);
  if (length == 0) return -1;
  for (const char* p = text; *p != 0; p = platform::CharNextA(p))
    if (std::strncmp(p, pattern, length) == 0) return static_cast<int32_t>(p - text);
  return -1;
}

Selection FindRepeatPlaceholder(const char* text) {
  const EditorState& editor = Editor();
  if (editor.mode == kModeSet) {
    int32_t at = FindSubstring(text, editor.expressionRepeat);
    if (at >= 0) return {at, at + static_cast<int32_t>(std::strlen(editor.expressionRepeat))};
  }
  int32_t at = FindSubstring(text, editor.argumentRepeat);
  if (at >= 0) return {at, at + static_cast<int32_t>(std::strlen(editor.argumentRepeat))};
  return {-1, -1};
}

void EnableDlgItem(HWND dialog, int32_t id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? 1 : 0); }

}  // namespace

void InsertText(HWND edit, const char* text, int32_t length) {
  if (length < 0) return;
  InsertAtSelection(edit, text, static_cast<size_t>(length));
}

void InsertListEntry(HWND list) {
  auto index = static_cast<int32_t>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  const int32_t id = GetDlgCtrlID(list);
  if (id != kIdDataItems && id != kIdFunctions && id != kIdFormulas) return;
  if (id == kIdFormulas && index == 0) return;  // the new-entry label
  char* name = ListEntryText(list, index);
  if (name == nullptr) return;
  HWND edit = GetDlgItem(GetParent(list), kIdFormulaText);
  if (id == kIdDataItems) InsertAtSelection(edit, name, std::strlen(name));
  if (id == kIdFormulas) InsertFormulaCall(edit, name);
  if (id == kIdFunctions) InsertFunctionCall(edit, name);
  HostFree(name);
}

bool BuildCallTemplate(const ExpItem* function, char* buffer, int32_t size) {
  TemplateWriter out(buffer, size);
  if (function != nullptr) WriteCallTemplate(function, out);
  out.Finish();
  return out.Fits();
}

const char* ButtonInsertion(ExprContext* ec, int32_t id) {
  static constexpr const char* kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
  switch (id) {
    case kIdPlus: return " + ";
    case kIdMinus: return " - ";
    case kIdTimes: return " * ";
    case kIdDivide: return " / ";
    case kIdConcat: return ec != nullptr && ec->pipeAllowed == 0 ? " % " : " || ";
    case kIdPoint: return ".";
    default: break;
  }
  if (id >= kIdDigit0 && id <= kIdDigit9) return kDigits[id - kIdDigit0];
  return nullptr;
}

void WrapSelection(HWND edit) {
  char* old = CopyWindowText(edit);
  if (old == nullptr) return;
  size_t oldLength = std::strlen(old);
  Selection selection = SelectionIn(edit, oldLength);
  auto start = static_cast<size_t>(selection.start), end = static_cast<size_t>(selection.end);
  char* wrapped = Join({{old, start}, Whole("("), {old + start, end - start}, Whole(")"), {old + end, oldLength - end}});
  HostFree(old);
  if (wrapped == nullptr) return;
  bool replaced = ReplaceText(edit, wrapped);
  HostFree(wrapped);
  if (!replaced) return;
  MarkChanged(edit, static_cast<int32_t>(oldLength + 2));
}

void FillModeTemplate(HWND dialog) {
  const EditorState& editor = Editor();
  if (editor.mode != kModeRange && editor.mode != kModeSet) return;
  const Piece label = Whole(editor.placeholder);
  char* text = editor.mode == kModeRange
                   ? Join({label, Whole(" AND "), label})
                   : Join({label, Whole(", "), label, Whole(" "), Whole(editor.expressionRepeat)});
  if (text == nullptr) return;
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  bool replaced = ReplaceText(edit, text);
  HostFree(text);
  if (!replaced) return;
  Select(edit, 0, static_cast<int32_t>(label.length));
  UpdateEditButtons(dialog);
}

void SelectNextPlaceholder(HWND dialog) {
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  const int32_t length = GetWindowTextLengthA(edit);
  Selection selection = SelectionIn(edit, static_cast<size_t>(length));
  if (selection.start != selection.end) {
    UpdateEditButtons(dialog);
    return;
  }
  // Text and token share one block, each with room for the whole text.
  const size_t room = static_cast<size_t>(length < kTypeLabelSize ? kTypeLabelSize : length + 1);
  auto* text = static_cast<char*>(HostAlloc(room * 2));
  if (text == nullptr) return;
  char* token = text + room;
  text[0] = 0;
  GetWindowTextA(edit, text, static_cast<int32_t>(room));
  Selection found = FindPlaceholderToken(text, token);
  if (found.start < 0) found = FindRepeatPlaceholder(text);
  HostFree(text);
  if (found.start >= 0) Select(edit, found.start, found.end);
  UpdateEditButtons(dialog);
}

void UpdateEditButtons(HWND dialog) {
  uint32_t start = 0, end = 0;
  SendMessageA(GetDlgItem(dialog, kIdFormulaText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  const bool selected = start != end;
  for (int32_t id : {kIdCut, kIdCopy, kIdClear, kIdParens}) EnableDlgItem(dialog, id, selected);
  EnableDlgItem(dialog, kIdPaste, IsClipboardFormatAvailable(CF_TEXT) != 0);
}

}  // namespace xev::editor
