// The parse error dialog. It shows the message of the error code and the
// formula text with the failing span selected; it needs the windowing kit,
// and until that exists the dialog cannot be created, so nothing is shown
// and the caller gets the result of a failed creation.
#include "platform/platform.h"
#include "xev/xev.h"

namespace xev::editor {
namespace {

constexpr intptr_t kDialogNotCreated = -1;

}  // namespace
}  // namespace xev::editor

extern "C" XEV_API intptr_t XEV_CALL XEVErrorDisplay(HWND /*parent*/, const char* /*text*/,
                                                     const ExprError* /*error*/) {
  return xev::editor::kDialogNotCreated;
}
