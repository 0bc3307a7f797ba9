// The names of the formula records of the block being loaded, sorted, so that
// the question asked at every deferral (is the unknown function a formula of
// this block?) costs a binary search instead of a walk over the block. Blocks
// whose formulas call later ones ask it once per waiting formula.
#pragma once

#include <cstdint>

#include "persist/load_fix.h"
#include "xev/xev.h"

namespace xev::persist {

class BlockNames {
 public:
  BlockNames() = default;
  BlockNames(const BlockNames&) = delete;
  BlockNames& operator=(const BlockNames&) = delete;
  ~BlockNames();

  // The answer of LoadNameIsInBlock over the records that state publishes.
  // Built on first use; without memory for it, the records are walked.
  bool Contains(const char* text, const ExprError& error, const LoadFixState& state);

 private:
  bool Build(const LoadFixState& state);

  const char** names_ = nullptr;
  int32_t count_ = 0;
  bool unavailable_ = false;
};

}  // namespace xev::persist
