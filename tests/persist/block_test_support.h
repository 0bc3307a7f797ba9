// Helpers for the block writer and loader tests: self-cleaning contexts, a
// resolve callback that records what it was asked, and a block builder.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace blocktest {

using Bytes = std::vector<uint8_t>;

// Every name resolves to a distinct non-zero value, except names starting
// with "Unbound", which the host does not know.
inline std::vector<std::string>& ResolvedNames() {
  static std::vector<std::string> names;
  return names;
}

inline intptr_t XEV_CALL ResolveAll(const char* name) {
  ResolvedNames().emplace_back(name);
  if (std::strncmp(name, "Unbound", 7) == 0) return 0;
  return static_cast<intptr_t>(0x1000 + std::hash<std::string>{}(name) % 0x10000);
}

struct EcDeleter {
  void operator()(ExprContext* ec) const { XEVDestroyEC(ec); }
};
using Ec = std::unique_ptr<ExprContext, EcDeleter>;

inline Ec NewContext(uint16_t flags = ECF_RANGES_SETS, XEVResolveCallback resolve = ResolveAll) {
  return Ec(XEVCreateEC(0, resolve, nullptr, flags));
}

inline Bytes WriteBlock(ExprContext* ec) {
  Bytes block(XEVGetECBlockSize(ec, 1));
  int32_t written = XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data());
  block.resize(static_cast<size_t>(written));
  return block;
}

// Loads from a heap copy of exactly the block's bytes, so that a read past
// its end is caught by the address sanitizer.
inline int32_t Load(ExprContext* ec, const Bytes& block, int32_t loadExpressions = 1,
                    XEVLoadErrorCallback onError = nullptr) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size() + (block.empty() ? 1 : 0)]);
  if (!block.empty()) std::memcpy(exact.get(), block.data(), block.size());
  return XEVSetECContents(ec, static_cast<int32_t>(block.size()), exact.get(), loadExpressions, onError);
}

inline ExpItem DataItem(const char* name, const char* binding, int16_t type = XEV_TYPE_NUMBER) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA, item.dataType = type, item.bindingName = binding;
  std::strncpy(item.name, name, sizeof item.name - 1);
  return item;
}

inline std::string ExpressionName(ExprContext* ec, int32_t ordinal) {
  char name[128] = "<none>";
  if (HEXP exp = XEVHEXPFromOrdinal(ec, ordinal)) XEVGetExpressionName(ec, exp, sizeof name, name);
  return name;
}

inline std::string ExpressionText(ExprContext* ec, int32_t ordinal) {
  HEXP exp = XEVHEXPFromOrdinal(ec, ordinal);
  if (exp == nullptr) return "<none>";
  std::string text(static_cast<size_t>(XEVGetExpressionTextLength(ec, exp)) + 1, '\0');
  XEVGetExpressionText(ec, exp, static_cast<int32_t>(text.size()), text.data());
  return text.c_str();
}

// Appends the pieces of a hand-made block in the order they are given.
class BlockBuilder {
 public:
  BlockBuilder& Byte(uint8_t b) { return bytes_.push_back(b), *this; }
  BlockBuilder& U16(uint16_t v) { return Byte(static_cast<uint8_t>(v & 0xFF)).Byte(static_cast<uint8_t>(v >> 8)); }
  BlockBuilder& U32(uint32_t v) { return U16(static_cast<uint16_t>(v & 0xFFFF)).U16(static_cast<uint16_t>(v >> 16)); }
  BlockBuilder& Str(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return Byte(0);
  }
  // The 20 operator callback names; names[i] for the first ones, empty after.
  BlockBuilder& OperatorNames(const std::vector<std::string>& names = {}) {
    for (size_t i = 0; i < 20; ++i) Str(i < names.size() ? names[i] : "");
    return *this;
  }
  BlockBuilder& Field(std::string s, size_t width) {
    s.resize(width, '\0');
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  // Item image of versions 2 and 3 (85 bytes) followed by the binding name.
  BlockBuilder& Item85(const std::string& name, const std::string& binding, int16_t type = 0,
                       int16_t subclass = 0, uint16_t flags = 0) {
    U16(XEV_ITEM_DATA).U16(static_cast<uint16_t>(type)).U32(0).U32(0).Field(name, 65);
    U16(0).U16(static_cast<uint16_t>(subclass)).U16(0).U16(flags);
    return Str(binding);
  }
  // Version 1 image (60 bytes): 40-byte name, then the four short fields.
  BlockBuilder& Item60(const std::string& name, const std::string& binding, int16_t type, uint32_t bound,
                       int16_t params, int16_t subclass, int16_t subclass2, uint16_t flags) {
    U16(XEV_ITEM_DATA).U16(static_cast<uint16_t>(type)).U32(0xDEADBEEF).U32(bound).Field(name, 40);
    U16(static_cast<uint16_t>(params)).U16(static_cast<uint16_t>(subclass)).U16(static_cast<uint16_t>(subclass2));
    return U16(flags).Str(binding);
  }
  BlockBuilder& Formula(const std::string& text, const std::string& name) { return Str(text).Str(name); }
  Bytes Build() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace blocktest
