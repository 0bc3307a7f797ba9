// The platform layer: the operating-system services the engine was written
// against, with the same names and the behaviour the engine relies on.
// Movable memory handles, the compiled-in string table, lookup of the
// library's own exports, and ANSI byte-string and character functions over
// the host runtime's current code page.
#pragma once

#include <cstdint>
#include <cstddef>

#include "xev/xev.h"

// Inside the library the window and module handles keep their system names;
// the public headers spell them XEVHWND and XEVHMODULE so that a host which
// also includes its own system headers sees no clash.
typedef XEVHWND HWND;
typedef XEVHMODULE HMODULE;

namespace xev::platform {

// ---- Movable memory -------------------------------------------------------
// A handle names a block that may move when it is resized; its address is
// reached only between GlobalLock and GlobalUnlock. Blocks come from HostAlloc,
// so allocation-failure injection reaches them too.
struct GlobalBlock;
using HGLOBAL = GlobalBlock*;

constexpr uint32_t GMEM_MOVEABLE = 0x0002;
constexpr uint32_t GMEM_ZEROINIT = 0x0040;
constexpr uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
// Resizes; added bytes are zero. Returns the handle to keep (which may differ
// from the one passed), or nullptr with the old block unchanged.
HGLOBAL GlobalReAlloc(HGLOBAL handle, size_t bytes, uint32_t flags);
void* GlobalLock(HGLOBAL handle);
int32_t GlobalUnlock(HGLOBAL handle);
size_t GlobalSize(HGLOBAL handle);
HGLOBAL GlobalFree(HGLOBAL handle);

// ---- Module and resources ---------------------------------------------------
// The library's own module handle (what FUNModuleHandle returns).
HMODULE ModuleInstance();
// Whether module names this library: its own handle, or null, since a
// statically linked library shares the program's module.
bool IsOwnModule(HMODULE module);
// Copies string resource id (language 1033) into buffer, at most size - 1
// bytes, zero-terminated; returns the bytes copied, 0 when there is none.
int32_t LoadStringA(HMODULE module, uint32_t id, char* buffer, int32_t size);

// ---- ANSI strings and characters (current code page) -------------------------
int32_t lstrlenA(const char* s);
char* lstrcpyA(char* dst, const char* src);
char* lstrcatA(char* dst, const char* src);
int32_t lstrcmpA(const char* a, const char* b);
int32_t lstrcmpiA(const char* a, const char* b);
// The next character; never steps past the terminator.
char* CharNextA(const char* p);
// Upper-cases length bytes in place, DBCS-aware; returns the bytes processed.
uint32_t CharUpperBuffA(char* s, uint32_t length);
int32_t IsCharAlphaA(char ch);

}  // namespace xev::platform
