// The names of the formula records of the block being loaded, sorted, and
// for each name the formulas that wait for a formula of that name. A formula
// that calls one stored after it waits on that name and is tried again once
// the name exists, so a load parses each formula about once however the
// block orders them.
#pragma once

#include <cstdint>

#include "persist/deferred_formulas.h"
#include "persist/load_fix.h"
#include "xev/xev.h"

namespace xev::persist {

class BlockNames {
 public:
  BlockNames() = default;
  BlockNames(const BlockNames&) = delete;
  BlockNames& operator=(const BlockNames&) = delete;
  ~BlockNames();

  // Sorts the names of the records that state publishes; false when memory
  // is short. Until then no name is known.
  bool Build(const LoadFixState& state);
  bool Built() const { return entries_ != nullptr; }

  // The key of name, the same for every record of that name; -1 when no
  // record has it.
  int32_t KeyOf(const char* name) const;
  // The key of the name that error 103 marks in text (the answer of
  // LoadNameIsInBlock), or -1.
  int32_t CalledKey(const char* text, const ExprError& error) const;

  WaitQueue& Waiting(int32_t key) { return entries_[key].waiting; }

 private:
  struct Entry {
    const char* name;
    WaitQueue waiting;
  };
  Entry* entries_ = nullptr;
  int32_t count_ = 0;
};

}  // namespace xev::persist
