// Library start-up: the labels every later caller reads and the default
// context that name validation falls back on. It runs when the library is
// loaded, and again on demand so that a static link, whose initialiser order
// nobody controls, still finds everything in place.
#include "core/core.h"
#include "platform/platform.h"

namespace xev::core {

namespace {

constexpr int32_t kLongLabelSize = 128;
constexpr int32_t kTypeLabelSize = 40;

struct LabelSlot {
  uint32_t id;
  char* buffer;
  int32_t size;
};

// Everything start-up sets; read-only once started.
struct LibraryState {
  bool started = false;
  HMODULE module = nullptr;
  ExprContext* defaultContext = nullptr;
  char formula[kLongLabelSize] = {};
  char range[kLongLabelSize] = {};
  char set[kLongLabelSize] = {};
  char formulaEditor[kLongLabelSize] = {};
  char rangeEditor[kLongLabelSize] = {};
  char setEditor[kLongLabelSize] = {};
  char numberType[kTypeLabelSize] = {};
  char dateTimeType[kTypeLabelSize] = {};
  char stringType[kTypeLabelSize] = {};
  char anyType[kTypeLabelSize] = {};
  char keywordType[kTypeLabelSize] = {};

  // In the order the labels are loaded.
  LabelSlot labels[11] = {
      {208, formula, kLongLabelSize},      {214, range, kLongLabelSize},
      {215, set, kLongLabelSize},          {207, formulaEditor, kLongLabelSize},
      {212, rangeEditor, kLongLabelSize},  {213, setEditor, kLongLabelSize},
      {227, numberType, kTypeLabelSize},   {228, dateTimeType, kTypeLabelSize},
      {229, stringType, kTypeLabelSize},   {230, anyType, kTypeLabelSize},
      {231, keywordType, kTypeLabelSize},
  };
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

}  // namespace

void EnsureStarted() {
  LibraryState& state = State();
  if (state.started) return;
  state.started = true;
  state.module = platform::ModuleInstance();
  for (const LabelSlot& label : state.labels) {
    platform::LoadStringA(state.module, label.id, label.buffer, label.size);
  }
  // A library without its default context still works: only name validation
  // without a context needs it, and it then has nothing to check against.
  state.defaultContext = XEVCreateEC(0, nullptr, nullptr, 0);
}

ExprContext* DefaultContext() {
  EnsureStarted();
  return State().defaultContext;
}

const char* Label(uint32_t id) {
  EnsureStarted();
  for (const LabelSlot& label : State().labels) {
    if (label.id == id) return label.buffer;
  }
  return "";
}

}  // namespace xev::core

namespace {

__attribute__((constructor)) void StartLibraryOnLoad() { xev::core::EnsureStarted(); }

}  // namespace
