// Loads arbitrary bytes as a stored context block into a context set up as a
// host sets one up (built-in functions and a resolve callback),
// writes the result back out, and destroys it. A damaged block must never
// read past its end, crash or leak.
#include <cstdint>
#include <cstring>
#include <memory>

#include "xev/xev.h"

namespace {

intptr_t XEV_CALL ResolveAnything(const char* name) {
  // A host refuses the names it does not know; let some be refused.
  return name[0] == 'X' ? 0 : 0x1000;
}

int32_t XEV_CALL IgnoreLoadError(ExprContext*, const char*, ExprError*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  ExprContext* ec = XEVCreateEC(0, ResolveAnything, nullptr, ECF_RANGES_SETS);
  if (ec == nullptr) return 0;
  FUNDefineFunctions(ec);

  // The fuzzer's buffer may be larger than size; an exact copy lets the
  // sanitizer see any read past the block.
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  XEVSetECContents(ec, static_cast<int32_t>(size), block.get(), 1, size % 2 == 0 ? IgnoreLoadError : nullptr);

  uint32_t written = XEVGetECBlockSize(ec, 1);
  std::unique_ptr<uint8_t[]> out(new uint8_t[written]);
  XEVGetECBlock(ec, static_cast<int32_t>(written), out.get());
  XEVDestroyEC(ec);
  return 0;
}
