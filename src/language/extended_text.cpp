// Extended text: a formula written out for a host that hands it on to another
// query language. References to named formulas are expanded in place, calls
// of functions marked for it are wrapped in " {fn " ... " } ", and date
// literals are rewritten with the context's date pictures and conversion
// strings.
//
// Every change is tied to a node of the parse tree and to the byte range of
// the formula text that node was parsed from, so nothing is ever searched
// for in the text: a reference is replaced exactly where the parser found it
// (a name inside a string, inside a longer name or inside text that an
// expansion has just put in is never taken for one), and expanded text is
// never scanned again. Each formula's list of changes is built once per call
// and shared by every place that expands it, so a formula named a thousand
// times costs one walk of its tree.
#include <algorithm>
#include <cstring>

#include "language/dependencies.h"
#include "host/host.h"
#include "host/values.h"
#include "xev/xev.h"

namespace xev::language {
namespace {

using namespace xev::core;

constexpr char kOpenEscape[] = " {fn ";
constexpr char kCloseEscape[] = " } ";
constexpr uint16_t kEscapedFunction = 0x20;
constexpr uint16_t kWrapDates = 0x02;
constexpr int64_t kLengthLimit = INT32_MAX;
// An extra length beyond this can never come back under the limit (a
// reference gives back at most the bytes of its own name and parentheses),
// so counting may stop there, before 64 bits overflow in a deep chain.
constexpr int64_t kHopeless = int64_t{1} << 40;
// What CountExtra gives for a cycle or a lack of memory. Any other negative
// value is an answer: a formula whose text is shorter than its name makes
// the text that refers to it shorter.
constexpr int64_t kNoExtra = INT64_MIN;

// Ties at one position: a call's closing escape comes before the opening
// escape of whatever starts right there.
enum class EditKind : uint8_t { kCloseEscape, kOpenEscape, kDate, kReference };

struct Edit {
  uint32_t pos;       // where the edit applies in the formula text
  uint32_t length;    // bytes of formula text it replaces (0 for insertions)
  EditKind kind;
  bool fits;          // the node's positions agree with the text
  uint32_t sequence;  // collection order, so sorting is deterministic
  int32_t target;     // references: ordinal of the named formula, -1 unknown
  const ExprNode* node;
};

enum class PlanState : uint8_t { kNone, kBuilt, kOnPath, kCounted };

// One formula's text and its edits in text order.
struct Plan {
  const char* text;
  uint32_t textLength;
  Edit* edits;
  uint32_t editCount;
  int64_t extra;  // extra length by the counting rules, once kCounted
  PlanState state;
};

const char* NodeText(const ExprNode* node) { return static_cast<const char*>(node->left); }

uint32_t TextLength(const char* text) { return static_cast<uint32_t>(std::strlen(text)); }

class EditList {
 public:
  ~EditList() { HostFree(edits_); }
  bool Add(const Edit& edit) {
    if (!host::RoomForOneMore(edits_, count_, capacity_)) return false;
    edits_[count_] = edit;
    edits_[count_].sequence = count_;
    ++count_;
    return true;
  }
  uint32_t count() const { return count_; }
  Edit* Release() {
    Edit* edits = edits_;
    edits_ = nullptr;
    return edits;
  }

 private:
  Edit* edits_ = nullptr;
  uint32_t count_ = 0;
  uint32_t capacity_ = 0;
};

// The caller's buffer, filled up to its capacity and never beyond.
class Output {
 public:
  Output(char* buffer, int64_t capacity) : buffer_(buffer), capacity_(capacity) {}
  void Put(const char* bytes, size_t length) {
    int64_t room = capacity_ - used_;
    size_t n = static_cast<int64_t>(length) < room ? length : static_cast<size_t>(room);
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += static_cast<int64_t>(n);
  }
  void Put(const char* text) { Put(text, std::strlen(text)); }
  bool full() const { return used_ >= capacity_; }
  int64_t used() const { return used_; }

 private:
  char* buffer_;
  int64_t capacity_;
  int64_t used_ = 0;
};

class ExtendedText {
 public:
  ExtendedText(const ExprContext* ec, const ExprRecord* top, bool expand)
      : ec_(ec), top_(top), expand_(expand), formulas_(ec), topSlot_(formulas_.count()) {}
  ~ExtendedText();
  ExtendedText(const ExtendedText&) = delete;
  ExtendedText& operator=(const ExtendedText&) = delete;

  // The length by the counting rules, or -1 when it does not fit a signed
  // 32-bit value, the formulas refer to each other in a cycle, or memory ran
  // out.
  int64_t Length();
  // Writes the extended text, cut at the end of out. False when memory ran out.
  bool Write(Output& out);

 private:
  struct Frame {
    uint32_t slot;
    uint32_t next;    // index of the next edit
    uint32_t cursor;  // text position copied up to (writing)
    int64_t sum;      // extra counted so far (counting)
  };

  bool Prepare();
  Plan* PlanFor(uint32_t slot);
  bool Build(Plan& plan, const ExprRecord* record);
  bool Collect(EditList& edits, const ExprNode* node, const char* text, uint32_t textLength);
  int64_t OwnExtra(const Edit& edit) const;
  int64_t CountExtra();
  bool Fits(const Edit& edit, uint32_t cursor, bool positional) const;
  void PutDate(Output& out, const Edit& edit) const;

  const ExprContext* ec_;
  const ExprRecord* top_;
  bool expand_;
  FormulaClosure formulas_;  // the locked list and its name index
  uint32_t topSlot_;         // the formula asked for has its own plan
  Plan* plans_ = nullptr;
  Frame* frames_ = nullptr;
  bool outOfMemory_ = false;
};

ExtendedText::~ExtendedText() {
  if (plans_ != nullptr) {
    for (uint32_t slot = 0; slot <= topSlot_; ++slot) HostFree(plans_[slot].edits);
  }
  HostFree(plans_);
  HostFree(frames_);
}

bool ExtendedText::Prepare() {
  if (plans_ != nullptr) return true;
  // A path without a cycle holds each formula at most once, plus the top.
  plans_ = static_cast<Plan*>(HostAlloc(sizeof(Plan) * (topSlot_ + 1)));
  frames_ = static_cast<Frame*>(HostAlloc(sizeof(Frame) * (topSlot_ + 2)));
  if (plans_ != nullptr && frames_ != nullptr) return true;
  HostFree(plans_);
  HostFree(frames_);
  plans_ = nullptr;
  frames_ = nullptr;
  outOfMemory_ = true;
  return false;
}

Plan* ExtendedText::PlanFor(uint32_t slot) {
  Plan& plan = plans_[slot];
  if (plan.state != PlanState::kNone) return &plan;
  const ExprRecord* record = slot == topSlot_ ? top_ : formulas_.record(slot);
  if (!Build(plan, record)) {
    outOfMemory_ = true;
    return nullptr;
  }
  plan.state = PlanState::kBuilt;
  return &plan;
}

bool ExtendedText::Build(Plan& plan, const ExprRecord* record) {
  plan.text = record->text != nullptr ? record->text : "";
  plan.textLength = TextLength(plan.text);
  EditList edits;
  bool memoryOk = true;
  auto visit = [&](const ExprNode* node) {
    memoryOk = Collect(edits, node, plan.text, plan.textLength);
    return memoryOk ? WalkStep::kDescend : WalkStep::kStop;
  };
  if (WalkTree(record->root, visit) == WalkEnd::kNoMemory || !memoryOk || formulas_.outOfMemory()) return false;
  plan.editCount = edits.count();
  plan.edits = edits.Release();
  std::sort(plan.edits, plan.edits + plan.editCount, [](const Edit& a, const Edit& b) {
    if (a.pos != b.pos) return a.pos < b.pos;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.sequence < b.sequence;
  });
  return true;
}

// Records what node changes. Whether the node's positions agree with the text
// is checked here once; edits that do not are still counted in the length
// (which only promises enough room) but never applied.
bool ExtendedText::Collect(EditList& edits, const ExprNode* node, const char* text, uint32_t textLength) {
  Edit edit{};
  edit.node = node;
  edit.target = -1;
  switch (node->kind) {
    case NK_FUNCTION: {
      const ExpItem* function = FindItem(ec_->functionItems, NodeText(node));
      if (function == nullptr || (function->flags & kEscapedFunction) == 0) return true;
      // A call written with parentheses closes at its ')'; one without
      // (@NOW) ends with its own token.
      bool niladic = node->endPos == 0;
      uint64_t end = niladic ? uint64_t{node->pos} + node->len : uint64_t{node->endPos} + 1;
      edit.fits = node->pos <= textLength && end <= textLength && end >= node->pos &&
                  (niladic || text[node->endPos] == ')');
      edit.kind = EditKind::kOpenEscape;
      edit.pos = node->pos;
      if (!edits.Add(edit)) return false;
      edit.kind = EditKind::kCloseEscape;
      edit.pos = static_cast<uint32_t>(edit.fits ? end : node->pos);
      return edits.Add(edit);
    }
    case NK_DATE: {
      const char* literal = NodeText(node);
      if (literal == nullptr) return true;
      edit.kind = EditKind::kDate;
      edit.pos = node->pos;
      edit.length = TextLength(literal);
      edit.fits = edit.length > 0 && uint64_t{node->pos} + edit.length <= textLength &&
                  std::memcmp(text + node->pos, literal, edit.length) == 0;
      return edits.Add(edit);
    }
    case NK_FORMULAREF: {
      const char* name = NodeText(node);
      edit.target = formulas_.Resolve(name);
      if (edit.target < 0) return !formulas_.outOfMemory();  // deleted since the parse: skipped
      edit.kind = EditKind::kReference;
      edit.pos = node->pos;
      uint32_t nameLength = TextLength(name);
      edit.fits = node->endPos > node->pos && node->endPos < textLength &&
                  node->endPos - node->pos > nameLength && text[node->endPos] == ')' &&
                  std::memcmp(text + node->pos, name, nameLength) == 0;
      edit.length = edit.fits ? node->endPos + 1 - node->pos : 0;
      return edits.Add(edit);
    }
    default: return true;
  }
}

int64_t ExtendedText::OwnExtra(const Edit& edit) const {
  switch (edit.kind) {
    case EditKind::kOpenEscape: return sizeof kOpenEscape - 1;
    case EditKind::kCloseEscape: return sizeof kCloseEscape - 1;
    case EditKind::kDate: {
      if (!expand_) return 0;
      int64_t grows = int64_t{ec_->dateTextWidth} - edit.length;
      return grows >= 1 ? grows : 0;
    }
    case EditKind::kReference: return 0;  // counted with the formula it names
  }
  return 0;
}

// Extra length of the top formula, depth first over the references with an
// explicit stack; a formula met again while it is still on the path is a
// cycle, whose text would never end.
int64_t ExtendedText::CountExtra() {
  uint32_t depth = 0;
  frames_[depth++] = Frame{topSlot_, 0, 0, 0};
  plans_[topSlot_].state = PlanState::kOnPath;
  while (depth > 0) {
    Frame& frame = frames_[depth - 1];
    Plan& plan = plans_[frame.slot];
    if (frame.next == plan.editCount) {
      plan.extra = frame.sum;
      plan.state = PlanState::kCounted;
      --depth;
      continue;
    }
    const Edit& edit = plan.edits[frame.next];
    int64_t extra = OwnExtra(edit);
    if (edit.kind == EditKind::kReference) {
      Plan* named = PlanFor(static_cast<uint32_t>(edit.target));
      if (named == nullptr) return kNoExtra;
      if (named->state == PlanState::kOnPath) return kNoExtra;
      if (named->state != PlanState::kCounted) {
        named->state = PlanState::kOnPath;
        frames_[depth++] = Frame{static_cast<uint32_t>(edit.target), 0, 0, 0};
        continue;
      }
      extra = int64_t{named->textLength} - TextLength(NodeText(edit.node)) + named->extra;
    }
    frame.sum += extra;
    if (frame.sum > kHopeless) return kNoExtra;
    ++frame.next;
  }
  return plans_[topSlot_].extra;
}

int64_t ExtendedText::Length() {
  if (!Prepare()) return -1;
  Plan* top = PlanFor(topSlot_);
  if (top == nullptr) return -1;
  // A formula that is one date literal becomes one rewritten date at most.
  const ExprNode* root = top_->root;
  if (root != nullptr && root->kind == NK_DATE && ec_->dateTextWidth != 0 && expand_) return ec_->dateTextWidth;
  int64_t extra = CountExtra();
  if (extra == kNoExtra) return -1;
  int64_t length = int64_t{top->textLength} + extra;
  if (length > kLengthLimit) return -1;
  return length < 0 ? 0 : length;
}

// Escapes and dates are rewritten in the formula asked for whenever dates
// are expanded, but in the formulas it names only when the context also
// measured a date width: a context without date pictures was not set up to
// rewrite what references bring in.
bool ExtendedText::Fits(const Edit& edit, uint32_t cursor, bool positional) const {
  if (!edit.fits || edit.pos < cursor) return false;
  return edit.kind == EditKind::kReference || positional;
}

void ExtendedText::PutDate(Output& out, const Edit& edit) const {
  const char* literal = NodeText(edit.node);
  char date[host::kTextBufferSize];
  int32_t code = host::RecognizeDateText(literal, date, ec_->datePictures[0], ec_->datePictures[1],
                                         ec_->datePictures[2]);
  if (code == 0 || date[0] == '\0') {
    out.Put(literal, edit.length);
    return;
  }
  // Codes 8, 10 and 9 are the date, date-and-time and time forms, which pair
  // with the first, second and third picture and conversion string.
  int32_t form = code == 8 ? 0 : (code == 10 ? 1 : 2);
  const char* convert = ec_->dateConverts[form];
  const char* slot = convert != nullptr && (ec_->dateConvertOptions & kWrapDates) != 0 ? std::strstr(convert, "%s")
                                                                                        : nullptr;
  if (slot == nullptr) {
    out.Put(date);
    return;
  }
  // Only the "%s" is replaced; the rest of the string is the host's literal
  // text, never read as a format of its own.
  out.Put(convert, static_cast<size_t>(slot - convert));
  out.Put(date);
  out.Put(slot + 2);
}

bool ExtendedText::Write(Output& out) {
  if (!Prepare() || PlanFor(topSlot_) == nullptr) return false;
  bool nestedPositional = expand_ && ec_->dateTextWidth != 0;
  uint32_t depth = 0;
  frames_[depth++] = Frame{topSlot_, 0, 0, 0};
  while (depth > 0 && !out.full()) {
    Frame& frame = frames_[depth - 1];
    const Plan& plan = plans_[frame.slot];
    if (frame.next == plan.editCount) {
      out.Put(plan.text + frame.cursor, plan.textLength - frame.cursor);
      if (--depth > 0) out.Put(")");
      continue;
    }
    const Edit& edit = plan.edits[frame.next++];
    if (!Fits(edit, frame.cursor, frame.slot == topSlot_ ? expand_ : nestedPositional)) continue;
    out.Put(plan.text + frame.cursor, edit.pos - frame.cursor);
    frame.cursor = edit.pos + edit.length;
    switch (edit.kind) {
      case EditKind::kCloseEscape: out.Put(kCloseEscape); break;
      case EditKind::kOpenEscape: out.Put(kOpenEscape); break;
      case EditKind::kDate: PutDate(out, edit); break;
      case EditKind::kReference: {
        Plan* named = PlanFor(static_cast<uint32_t>(edit.target));
        if (named == nullptr) return false;
        // The length was counted first, which refuses cycles; the bound
        // keeps a walk safe even so.
        if (depth == topSlot_ + 2) return false;
        out.Put("(");
        frames_[depth++] = Frame{static_cast<uint32_t>(edit.target), 0, 0, 0};
        break;
      }
    }
  }
  return true;
}

const ExprContext* OwnerOf(const ExprContext* ec, HEXP exp) { return ec != nullptr ? ec : exp->ec; }

}  // namespace
}  // namespace xev::language

extern "C" {

XEV_API int32_t XEV_CALL XEVGetExtendedTextLength(ExprContext* ec, HEXP exp, int32_t expandDates) {
  if (exp == nullptr) return 0;
  const ExprContext* owner = xev::language::OwnerOf(ec, exp);
  if (owner == nullptr) return 0;
  xev::language::ExtendedText text(owner, exp, expandDates != 0);
  int64_t length = text.Length();
  return length < 0 ? 0 : static_cast<int32_t>(length);
}

// The buffer receives at most size - 1 bytes and always a terminator. The
// result counts the bytes it holds less one, so -1 when a buffer of one byte
// holds only the terminator; a failure leaves the buffer empty and gives 0.
XEV_API int32_t XEV_CALL XEVGetExtendedText(ExprContext* ec, HEXP exp, int32_t size, char* buffer,
                                            int32_t expandDates) {
  if (buffer == nullptr || size < 1) return 0;
  buffer[0] = '\0';
  if (exp == nullptr) return 0;
  const ExprContext* owner = xev::language::OwnerOf(ec, exp);
  if (owner == nullptr) return 0;
  xev::language::ExtendedText text(owner, exp, expandDates != 0);
  // A text whose length cannot be told in 32 bits is refused before any of
  // it is built.
  if (text.Length() < 0) return 0;
  xev::language::Output out(buffer, size - 1);
  if (!text.Write(out)) {
    buffer[0] = '\0';
    return 0;
  }
  auto written = static_cast<int32_t>(out.used());
  buffer[written] = '\0';
  return written - 1;
}

}  // extern "C"
