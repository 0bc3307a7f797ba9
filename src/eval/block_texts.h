// The texts a block run makes: join results, call results, text items read
// from their columns. They live in chunks taken in turn and kept from block
// to block, so that a block's texts cost no allocation of their own once the
// first blocks have grown the arena; a chunk never moves, so a text's
// address holds until the arena is reset for the next block.
#pragma once

#include <cstddef>

namespace xev::eval {

struct TextChunk;

struct BlockArena {
  TextChunk* first = nullptr;
  TextChunk* current = nullptr;
  size_t used = 0;  // in current
};

// Room for size bytes, good until the arena is reset; nullptr when memory is short.
char* ArenaTake(BlockArena& arena, size_t size);
// Copies length bytes and a terminator in; nullptr when memory is short.
const char* ArenaCopy(BlockArena& arena, const char* text, size_t length);
// Every text taken so far is done with; the chunks stay for the next block.
void ArenaReset(BlockArena& arena);
void ArenaRelease(BlockArena& arena);

}  // namespace xev::eval
