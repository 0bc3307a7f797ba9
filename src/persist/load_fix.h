// The hand-over between the block loader and the formula editor. When a
// stored formula no longer parses, the loader opens the editor in load-fix
// mode so the user can correct it; the editor reads the failing formula from
// this state and, when the corrected text waits for a formula stored later in
// the block, leaves it behind as a pending-accept buffer for the loader.
#pragma once

#include <cstdint>

#include "core/handle_array.h"
#include "xev/xev.h"

namespace xev::persist {

struct LoadFixState {
  bool active = false;            // load-fix mode, on only inside LoadFixFormula
  const char* failingText = nullptr;
  const char* failingName = nullptr;
  ExprError error{};              // why the stored formula failed
  // Set by the editor: a HostAlloc block "text\0name\0" that the loader takes over.
  char* pendingAccept = nullptr;
  // The expression records of the block being loaded (valid during a load).
  const char* records = nullptr;
  int32_t recordsLength = 0;      // bytes from records to the block's end
  int32_t recordCount = 0;
};

// The one load-fix state of the library (loads do not nest).
LoadFixState& CurrentLoadFix();

// The name that error 103 marks in text: its span is the called name, any
// blanks and the "(". word holds kCalledNameSize bytes; longer names are cut.
constexpr int32_t kCalledNameSize = 256;
void CalledName(const char* text, const ExprError* error, char* word);

// 1 when the word that error 103 marks in text (the span minus its "(" and
// trailing blanks) is the name of one of the count records at records; the
// walk stops at recordsLength bytes.
int32_t LoadNameIsInBlock(const char* text, const char* records, int32_t recordsLength,
                          const ExprError* error, int32_t count);

// Opens the editor on a stored formula that failed to parse. Returns the
// expression the user saved, or null; a pending-accept buffer left by the
// editor is appended to *deferred as an owned entry for block position index
// (CurrentLoadFix().pendingAccept still points at it then). On a list that
// cannot grow, *error becomes 121 and null is returned.
HEXP LoadFixFormula(ExprContext* ec, const char* text, ExprError* error, core::HGLOBAL* deferred,
                    int32_t index);

}  // namespace xev::persist
