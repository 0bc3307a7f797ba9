// Load-fix mode: the loader hands a stored formula that no longer parses to
// the formula editor (reached through persist/upper_layers.h) and takes back
// what the user saved.
#include "persist/load_fix.h"

#include <cstring>

#include "core/core.h"
#include "persist/deferred_formulas.h"
#include "persist/upper_layers.h"
#include "xev/xevhost.h"

namespace xev::persist {
namespace {

thread_local LoadFixState t_loadFix;  // one load at a time per thread

}  // namespace

LoadFixState& CurrentLoadFix() { return t_loadFix; }

// Dropping the span's last byte and the blanks before it leaves the name.
void CalledName(const char* text, const ExprError* error, char* word) {
  word[0] = 0;
  size_t textLength = std::strlen(text);
  if (error->pos >= textLength || error->len < 2) return;
  size_t length = error->len;
  if (length > textLength - error->pos) length = textLength - error->pos;
  if (length > kCalledNameSize - 1) length = kCalledNameSize - 1;
  char span[kCalledNameSize];
  std::memcpy(span, text + error->pos, length - 1);
  span[length - 1] = 0;
  HostStrRTrim(word, span);
}

int32_t LoadNameIsInBlock(const char* text, const char* records, int32_t recordsLength,
                          const ExprError* error, int32_t count) {
  if (text == nullptr || records == nullptr || error == nullptr || count < 1) return 0;
  char word[kCalledNameSize];
  CalledName(text, error, word);

  const char* at = records;
  const char* end = records + (recordsLength > 0 ? recordsLength : 0);
  for (int32_t i = 0; i < count; ++i) {
    const char* textEnd = static_cast<const char*>(std::memchr(at, 0, static_cast<size_t>(end - at)));
    if (textEnd == nullptr) return 0;
    const char* name = textEnd + 1;
    const char* nameEnd = static_cast<const char*>(std::memchr(name, 0, static_cast<size_t>(end - name)));
    if (nameEnd == nullptr) return 0;
    if (std::strcmp(name, word) == 0) return 1;
    at = nameEnd + 1;
  }
  return 0;
}

HEXP LoadFixFormula(ExprContext* ec, const char* text, ExprError* error, core::HGLOBAL* deferred,
                    int32_t index) {
  LoadFixState& state = t_loadFix;
  state.active = true;
  state.pendingAccept = nullptr;
  state.failingText = text;
  state.failingName = text + std::strlen(text) + 1;
  state.error = *error;

  HEXP saved = kUpperLayers.editFailingFormula(ec);

  if (saved == nullptr && state.pendingAccept != nullptr &&
      !AppendDeferred(deferred, state.pendingAccept, index, true)) {
    *error = ExprError{XEV_ERR_MEMORY, 0, 0};
    HostFree(state.pendingAccept);
    state.pendingAccept = nullptr;
  }
  state.active = false;
  return saved;
}

}  // namespace xev::persist
