// Data item names for the columns of a table, made from the columns' labels.
// Every host that reads tables (the reference host over CSV files, the Python
// package over frames) names a column alike, so a formula written against
// one reads the same column in the other.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/code_page.h"
#include "language/name_rule.h"
#include "language/scanner_bytes.h"
#include "xev/xev.h"

namespace {

using namespace xev;

constexpr uint32_t kMaxName = XEV_NAME_SIZE - 1;

struct Name {
  char bytes[XEV_NAME_SIZE];
  uint32_t length;
};

// The longest start of the length bytes at name that takes at most limit
// bytes and ends between characters.
uint32_t WholeCharsWithin(const char* name, uint32_t length, uint32_t limit) {
  if (length <= limit) return length;
  const host::CodePage& cp = host::CurrentCodePage();
  uint32_t keep = 0;
  for (;;) {
    const int step = host::CharLength(cp, name + keep, length - keep);
    if (step <= 0 || keep + static_cast<uint32_t>(step) > limit) return keep;
    keep += static_cast<uint32_t>(step);
  }
}

// Appends a piece while it fits whole; false once one does not, which ends
// the name: what is kept is the name cut to its most bytes.
bool Append(Name& name, const char* piece, uint32_t length) {
  if (name.length + length > kMaxName) return false;
  std::memcpy(name.bytes + name.length, piece, length);
  name.length += length;
  return true;
}

// The characters of the label that a name part may hold, each run of others
// one "_" between them.
Name KeptCharacters(const char* label) {
  Name name{};
  const auto available = static_cast<uint32_t>(std::strlen(label));
  bool gap = false;
  for (uint32_t i = 0; i < available;) {
    const int length = language::NamePartCharLength(label + i, available - i);
    if (length < 0) {
      gap = true;
      i += static_cast<uint32_t>(-length);
      continue;
    }
    if (gap && name.length > 0 && !Append(name, "_", 1)) break;
    gap = false;
    if (!Append(name, label + i, static_cast<uint32_t>(length))) break;
    i += static_cast<uint32_t>(length);
  }
  return name;
}

// A name that would read as a number or as a word of the language.
bool NeedsPrefix(const Name& name) {
  if (language::scan_bytes::IsDigitByte(name.bytes[0])) return true;
  for (uint32_t i = 0; i < name.length; ++i) {
    if (language::scan_bytes::KindOf(name.bytes[i]) != language::scan_bytes::kLetter) return false;
  }
  return language::scan_bytes::MayBeKeyword(name.bytes, name.length) &&
         language::scan_bytes::KeywordOf(name.bytes, name.length) != nullptr;
}

Name BaseName(const char* label, int32_t index) {
  Name name = KeptCharacters(label != nullptr ? label : "");
  if (name.length == 0) {
    const auto place = static_cast<unsigned>(index) + 1u;
    name.length = static_cast<uint32_t>(std::snprintf(name.bytes, sizeof name.bytes, "Column%u", place));
  } else if (NeedsPrefix(name)) {
    name.length = WholeCharsWithin(name.bytes, name.length, kMaxName - 1);
    std::memmove(name.bytes + 1, name.bytes, name.length);
    name.bytes[0] = '_';
    ++name.length;
  }
  name.bytes[name.length] = 0;
  return name;
}

// The names given so far, found by hash in the caller's buffer.
class TakenNames {
 public:
  TakenNames(const char* names, int32_t count) : names_(names) {
    uint64_t capacity = 16;
    while (capacity < 2 * static_cast<uint64_t>(count)) capacity *= 2;
    if (capacity > SIZE_MAX / sizeof(uint32_t) - static_cast<uint64_t>(count)) return;
    // One block: the hash slots, then per name the next suffix to try.
    slots_ = static_cast<uint32_t*>(HostAlloc((capacity + static_cast<uint64_t>(count)) * sizeof(uint32_t)));
    if (slots_ == nullptr) return;
    mask_ = capacity - 1;
    nextSuffix_ = slots_ + capacity;
    for (int32_t i = 0; i < count; ++i) nextSuffix_[i] = 2;
  }
  ~TakenNames() { HostFree(slots_); }
  TakenNames(const TakenNames&) = delete;
  TakenNames& operator=(const TakenNames&) = delete;

  bool Ready() const { return slots_ != nullptr; }

  bool Has(const char* name) const { return slots_[Find(name)] != 0; }

  // Takes the name in slot index of the buffer; it is not taken yet.
  void Add(int32_t index) { slots_[Find(NameAt(index))] = static_cast<uint32_t>(index) + 1; }

  // The first suffix not yet known to be taken after name, a taken name:
  // names are only ever added, so the suffixes tried for an earlier label
  // of the same name stay taken, and many equal labels cost no more than
  // different ones.
  uint32_t& NextSuffix(const char* name) { return nextSuffix_[slots_[Find(name)] - 1]; }

 private:
  const char* names_;
  uint32_t* slots_ = nullptr;
  uint32_t* nextSuffix_ = nullptr;
  uint64_t mask_ = 0;

  const char* NameAt(int32_t index) const { return names_ + static_cast<size_t>(index) * XEV_NAME_SIZE; }

  // The slot that holds name, or the empty slot where it would go.
  uint64_t Find(const char* name) const {
    uint64_t hash = 1469598103934665603u;
    for (const char* p = name; *p != 0; ++p) hash = (hash ^ static_cast<uint8_t>(*p)) * 1099511628211u;
    for (uint64_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
      if (slots_[slot] == 0 || std::strcmp(NameAt(static_cast<int32_t>(slots_[slot] - 1)), name) == 0) return slot;
    }
  }
};

// Writes base into out, with the first suffix _2, _3, ... that makes it free
// when base is taken.
void FreeName(const Name& base, TakenNames& taken, char* out) {
  std::memcpy(out, base.bytes, base.length + 1);
  if (!taken.Has(out)) return;
  uint32_t& next = taken.NextSuffix(base.bytes);
  for (uint32_t n = next;; ++n) {  // at most one more than the columns
    char suffix[16];
    const auto length = static_cast<uint32_t>(std::snprintf(suffix, sizeof suffix, "_%u", n));
    const uint32_t kept = WholeCharsWithin(base.bytes, base.length, kMaxName - length);
    std::memcpy(out + kept, suffix, length + 1);
    if (!taken.Has(out)) {
      next = n + 1;
      return;
    }
  }
}

}  // namespace

extern "C" XEV_API int32_t XEV_CALL XEVDataItemNames(const char* const* labels, int32_t count, char* names) {
  if (labels == nullptr || names == nullptr || count < 0) return 0;
  TakenNames taken(names, count);
  if (!taken.Ready()) return 0;
  for (int32_t i = 0; i < count; ++i) {
    char* out = names + static_cast<size_t>(i) * XEV_NAME_SIZE;
    FreeName(BaseName(labels[i], i), taken, out);
    taken.Add(i);
  }
  return 1;
}
