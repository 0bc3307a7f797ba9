// The version the library was built as, so that a host can tell the library
// it loaded from the header it compiled against.
#include "xev/xev.h"

extern "C" XEV_API uint32_t XEV_CALL XEVVersion(void) { return XEV_VERSION_NUMBER; }
