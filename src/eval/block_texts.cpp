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

char* ArenaTakeFresh(BlockArena& arena, size_t size) {
  // The next kept chunk when it is large enough; else a new one after current.
  TextChunk* next = arena.current != nullptr ? arena.current->next : arena.first;
  if (next == nullptr || next->size < size) {
    next = NewChunk(size, next);
    if (next == nullptr) return nullptr;
    (arena.current != nullptr ? arena.current->next : arena.first) = next;
  }
  arena.current = next;
  arena.at = next->bytes() + size;
  arena.end = next->bytes() + next->size;
  return next->bytes();
}

void ArenaReset(BlockArena& arena) {
  arena.current = nullptr;
  arena.at = arena.end = nullptr;
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
