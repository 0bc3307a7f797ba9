// The table that owns every window record. A handle is the record's slot and
// the slot's generation, so a destroyed window's handle stays dead even when
// its slot is reused, and a handle the kit never made is refused.
#include <cstring>
#include <new>

#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui::kit {
namespace {

constexpr uintptr_t kGenerationBits = 16;
constexpr uintptr_t kGenerationMask = (uintptr_t{1} << kGenerationBits) - 1;

HWND MakeHandle(int32_t slot, uint32_t generation) {
  uintptr_t value = (static_cast<uintptr_t>(slot + 1) << kGenerationBits) | (generation & kGenerationMask);
  return reinterpret_cast<HWND>(value);
}

bool GrowSlots(State& s) {
  int32_t capacity = s.slotCount == 0 ? 32 : s.slotCount * 2;
  if (capacity > 0xFFFF) return false;
  auto* grown = static_cast<Slot*>(HostRealloc(s.slots, sizeof(Slot) * static_cast<size_t>(capacity)));
  if (grown == nullptr) return false;
  for (int32_t i = s.slotCount; i < capacity; ++i) grown[i] = Slot{nullptr, 1};
  s.slots = grown;
  s.slotCount = capacity;
  return true;
}

int32_t FreeSlot(State& s) {
  for (int32_t i = 0; i < s.slotCount; ++i)
    if (s.slots[i].window == nullptr) return i;
  int32_t first = s.slotCount;
  return GrowSlots(s) ? first : -1;
}

// With no window left the table goes back, and so does input still queued
// for whatever would have had the focus: nothing is left to take it, and a
// host that has closed every dialog holds no kit memory.
void ReleaseTableIfEmpty(State& s) {
  if (s.liveWindows != 0) return;
  HostFree(s.slots);
  s.slots = nullptr;
  s.slotCount = 0;
  HostFree(s.queue);
  s.queue = nullptr;
  s.queueCapacity = 0;
  s.queueHead = 0;
  s.queueLength = 0;
}

void LinkChild(Window* parent, Window* child) {
  if (parent->lastChild == nullptr) {
    parent->firstChild = child->handle;
  } else if (Window* last = Find(parent->lastChild)) {
    last->nextSibling = child->handle;
  }
  parent->lastChild = child->handle;
}

}  // namespace

State& S() {
  static State state;
  return state;
}

Window* Find(HWND handle) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0) return nullptr;
  State& s = S();
  auto slot = static_cast<intptr_t>(value >> kGenerationBits) - 1;
  if (slot < 0 || slot >= s.slotCount) return nullptr;
  const Slot& entry = s.slots[slot];
  if (entry.window == nullptr || (entry.generation & kGenerationMask) != (value & kGenerationMask)) return nullptr;
  return entry.window;
}

Window* NewWindow(WindowKind kind, HWND parent, HWND owner) {
  State& s = S();
  Window* container = parent != nullptr ? Find(parent) : nullptr;
  if (parent != nullptr && container == nullptr) return nullptr;
  int32_t slot = FreeSlot(s);
  if (slot < 0) return nullptr;
  void* block = HostAlloc(sizeof(Window));
  if (block == nullptr) {
    ReleaseTableIfEmpty(s);
    return nullptr;
  }
  auto* w = new (block) Window();
  w->kind = kind;
  w->handle = MakeHandle(slot, s.slots[slot].generation);
  w->parent = parent;
  w->owner = parent == nullptr ? owner : nullptr;
  s.slots[slot].window = w;
  ++s.liveWindows;
  if (container != nullptr) LinkChild(container, w);
  return w;
}

// Unlinks and frees a record whose window has been told it is going.
void ReleaseWindow(Window* w) {
  State& s = S();
  if (Window* container = Find(w->parent)) {
    HWND previous = nullptr;
    for (HWND h = container->firstChild; h != nullptr;) {
      Window* child = Find(h);
      if (child == nullptr) break;
      if (h == w->handle) {
        if (previous == nullptr) container->firstChild = child->nextSibling;
        else if (Window* p = Find(previous)) p->nextSibling = child->nextSibling;
        if (container->lastChild == h) container->lastChild = previous;
        break;
      }
      previous = h;
      h = child->nextSibling;
    }
  }
  auto value = reinterpret_cast<uintptr_t>(w->handle);
  auto slot = static_cast<int32_t>(value >> kGenerationBits) - 1;
  s.slots[slot].window = nullptr;
  ++s.slots[slot].generation;
  if ((s.slots[slot].generation & kGenerationMask) == 0) s.slots[slot].generation = 1;
  --s.liveWindows;
  HostFree(w->text);
  HostFree(w->control);
  w->~Window();
  HostFree(w);
  ReleaseTableIfEmpty(s);
}

bool StoreText(Window* w, const char* text) {
  if (text == nullptr || text[0] == 0) {
    HostFree(w->text);
    w->text = nullptr;
    return true;
  }
  size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(HostAlloc(length + 1));
  if (copy == nullptr) return false;
  std::memcpy(copy, text, length + 1);
  HostFree(w->text);
  w->text = copy;
  return true;
}

const char* TextOf(const Window* w) { return w->text != nullptr ? w->text : ""; }

int32_t OwnedWindows(HWND owner, HWND* out, int32_t capacity) {
  State& s = S();
  int32_t count = 0;
  for (int32_t i = 0; i < s.slotCount; ++i) {
    Window* w = s.slots[i].window;
    if (w == nullptr || w->parent != nullptr || w->owner != owner || owner == nullptr) continue;
    if (count < capacity) out[count] = w->handle;
    ++count;
  }
  return count;
}

int32_t LiveWindowCount() { return S().liveWindows; }

}  // namespace xev::ui::kit
