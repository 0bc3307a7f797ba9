// Argument reading and result writing shared by the built-in function bodies.
//
// A null argument slot arises only when an argument's evaluation failed (a
// data item that no longer answers, memory that could not be had). A built-in
// then fails too, so the formula yields no value instead of a result computed
// from an argument that was never there. Every body checks its slots first
// with ArgumentsPresent; the readers below then need no null tests.
#pragma once

#include <cstdint>
#include <cstring>

#include "eval/evaluator.h"
#include "functions/functions.h"
#include "xev/xev.h"

namespace xev::functions {

inline bool ArgumentsPresent(void** args, int count) {
  if (args == nullptr) return false;
  for (int i = 0; i < count; ++i) {
    if (args[i] == nullptr) return false;
  }
  return true;
}

inline const NumberValue* NumberArg(void** args, int index) {
  return static_cast<const NumberValue*>(args[index]);
}

inline const char* StringArg(void** args, int index) { return static_cast<const char*>(args[index]); }

// A count or position argument: NumberToInt, with NULL counting as 0.
inline int32_t IntArg(void** args, int index) {
  const NumberValue* n = NumberArg(args, index);
  return NumberIsNull(n) ? 0 : NumberToInt(n);
}

// The result block as a NumberValue. The evaluator always passes 13 bytes; a
// host calling an entry point directly with less gets its block grown rather
// than overrun. nullptr when that growth fails.
inline NumberValue* NumberResult(void** result, int32_t size) {
  if (!EnsureResultSize(result, size, XEV_NUMBER_SIZE)) return nullptr;
  return static_cast<NumberValue*>(*result);
}

// Makes room for needed bytes (computed in 64 bits so that huge counts fail
// instead of wrapping) and returns the block, or nullptr. A text too long for
// any block is memory that cannot be had, as a failed growth is.
inline char* TextResult(void** result, int32_t size, int64_t needed) {
  if (needed < 1) needed = 1;
  if (needed > INT32_MAX) return xev::eval::NoteMemoryShort(), nullptr;
  if (!EnsureResultSize(result, size, static_cast<int32_t>(needed))) return nullptr;
  return static_cast<char*>(*result);
}

// Copies text (terminator included) into the result block, growing it to the
// text's byte length + 1 when it is smaller. 1, or 0 when growing fails.
inline int32_t CopyTextResult(void** result, int32_t size, const char* text) {
  size_t length = std::strlen(text);
  char* out = TextResult(result, size, static_cast<int64_t>(length) + 1);
  if (out == nullptr) return 0;
  std::memcpy(out, text, length + 1);
  return 1;
}

// The sign test of the IFF functions: 1, 2 or 3 for a negative, zero (or NULL)
// or positive test.
inline int SignChoice(const NumberValue* test) {
  if (NumberIsNull(test)) return 2;
  NumberValue zero;
  LongToNumber(&zero, 0);
  int32_t order = NumberCompare(test, &zero);
  if (order < 0) return 1;
  return order == 0 ? 2 : 3;
}

}  // namespace xev::functions
