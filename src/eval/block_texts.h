// The texts a block run makes: join results, call results, text items read
// from their columns. They live in chunks taken in turn and kept from block
// to block, so that a block's texts cost no allocation of their own once the
// first blocks have grown the arena; a chunk never moves, so a text's
// address holds until the arena is reset for the next block.
#pragma once

#include <cstddef>
#include <cstring>

namespace xev::eval {

struct TextChunk;

struct BlockArena {
  TextChunk* first = nullptr;
  TextChunk* current = nullptr;
  char* at = nullptr;   // the free room of current
  char* end = nullptr;
};

// Room for size bytes from the next chunk, when current has too little.
char* ArenaTakeFresh(BlockArena& arena, size_t size);

// Room for size bytes, good until the arena is reset; nullptr when memory is
// short. Inline: a block takes room for each of its texts.
inline char* ArenaTake(BlockArena& arena, size_t size) {
  if (static_cast<size_t>(arena.end - arena.at) < size) return ArenaTakeFresh(arena, size);
  char* room = arena.at;
  arena.at += size;
  return room;
}

// Copies length bytes and a terminator in; nullptr when memory is short.
inline const char* ArenaCopy(BlockArena& arena, const char* text, size_t length) {
  char* room = ArenaTake(arena, length + 1);
  if (room == nullptr) return nullptr;
  std::memcpy(room, text, length);
  room[length] = '\0';
  return room;
}
// Gives back the room past the first used bytes of the last room taken, for
// a text written straight into room taken for the longest it can be.
inline void ArenaKeep(BlockArena& arena, char* room, size_t used) { arena.at = room + used; }

// Every text taken so far is done with; the chunks stay for the next block.
void ArenaReset(BlockArena& arena);
void ArenaRelease(BlockArena& arena);

}  // namespace xev::eval
