// The texts of the error codes, for hosts that report errors themselves
// rather than through the error dialog.
#include "platform/platform.h"
#include "xev/xev.h"

namespace {

constexpr uint32_t kFirstErrorCode = 100;
constexpr uint32_t kLastErrorCode = 137;
constexpr uint32_t kCaptionNotAnError = 104;  // the dialogs' caption shares the numbering

}  // namespace

extern "C" XEV_API int32_t XEV_CALL XEVGetErrorMessage(uint32_t code, char* buffer, int32_t size) {
  if (buffer == nullptr || size < 1) return 0;
  buffer[0] = '\0';
  if (code < kFirstErrorCode || code > kLastErrorCode || code == kCaptionNotAnError) return 0;
  return xev::platform::LoadStringA(xev::platform::ModuleInstance(), code, buffer, size);
}
