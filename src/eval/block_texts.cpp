#include "eval/block_texts.h"

#include <cstring>

#include "host/host.h"
#include "xev/xevhost.h"

namespace xev::eval {

struct TextChunk {
  TextChunk* next;
  size_t size;  // bytes after the header
  char* bytes() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

// A chunk holds many blocks' worth of short texts.
constexpr size_t kChunkBytes = 16 * 1024;

TextChunk* NewChunk(size_t size, TextChunk* next) {
  if (size < kChunkBytes) size = kChunkBytes;
  auto* chunk = static_cast<TextChunk*>(host::AllocateUnclearedBlock(sizeof(TextChunk) + size));
  if (chunk == nullptr) return nullptr;
  chunk->next = next;
  chunk->size = size;
  return chunk;
}

}  // namespace

char* ArenaTake(BlockArena& arena, size_t size) {
  if (arena.current != nullptr && arena.current->size - arena.used >= size) {
    char* at = arena.current->bytes() + arena.used;
    arena.used += size;
    return at;
  }
  // The next kept chunk when it is large enough; else a new one after current.
  TextChunk* next = arena.current != nullptr ? arena.current->next : arena.first;
  if (next == nullptr || next->size < size) {
    next = NewChunk(size, next);
    if (next == nullptr) return nullptr;
    (arena.current != nullptr ? arena.current->next : arena.first) = next;
  }
  arena.current = next;
  arena.used = size;
  return next->bytes();
}

const char* ArenaCopy(BlockArena& arena, const char* text, size_t length) {
  char* at = ArenaTake(arena, length + 1);
  if (at == nullptr) return nullptr;
  std::memcpy(at, text, length);
  at[length] = '\0';
  return at;
}

void ArenaReset(BlockArena& arena) {
  arena.current = nullptr;
  arena.used = 0;
}

void ArenaRelease(BlockArena& arena) {
  for (TextChunk* chunk = arena.first; chunk != nullptr;) {
    TextChunk* next = chunk->next;
    HostFree(chunk);
    chunk = next;
  }
  arena = BlockArena{};
}

}  // namespace xev::eval
