// The pictograms, drawn as text so that they can be read and changed in
// place: '#' is ink, '+' accent, anything else background. The rows are
// turned into pixel bytes at compile time; a row of the wrong width does not
// compile.
#include "resources/bitmaps.h"

#include "platform/platform.h"

namespace xev::resources {

namespace {

template <int32_t W, int32_t H>
struct Pixels {
  uint8_t bytes[W * H];
};

constexpr int32_t RowLength(const char* row) {
  int32_t n = 0;
  while (row[n] != 0) ++n;
  return n;
}

template <int32_t W, int32_t H>
constexpr bool RowsAreWide(const char* const (&rows)[H]) {
  for (const char* row : rows)
    if (RowLength(row) != W) return false;
  return true;
}

template <int32_t W, int32_t H>
constexpr Pixels<W, H> Paint(const char* const (&rows)[H]) {
  Pixels<W, H> p{};
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      char c = rows[y][x];
      p.bytes[y * W + x] = c == '#' ? 1 : c == '+' ? 2 : 0;
    }
  return p;
}

// "f(x)": the formula mode.
constexpr const char* kFormulaRows[] = {
    "........................", "....###.................", "...#...#................",
    "...#.......#.......#....", "...#......#.........#...", "...#......#.........#...",
    ".#####....#.+.....+.#...", "...#......#..+...+..#...", "...#......#...+.+...#...",
    "...#......#....+....#...", "...#......#...+.+...#...", "...#......#..+...+..#...",
    "...#......#.+.....+.#...", "...#......#.........#...", "...#......#.........#...",
    "#..#.......#.......#....", ".##.....................", "........................",
};
constexpr const char* kFormulaSmallRows[] = {
    "................", "..##............", ".#.....#.....#..", ".#....#.......#.",
    "###...#.+...+.#.", ".#....#..+.+..#.", ".#....#...+...#.", ".#....#..+.+..#.",
    ".#....#.+...+.#.", ".#....#.......#.", "#......#.....#..", "................",
};

// A bracket pair around a span between two ends: the range mode.
constexpr const char* kRangeRows[] = {
    "........................", "...####..........####...", "...#................#...",
    "...#................#...", "...#................#...", "...#................#...",
    "...#................#...", "...#................#...", "...#..+..........+..#...",
    "...#..+##########+..#...", "...#..+..........+..#...", "...#................#...",
    "...#................#...", "...#................#...", "...#................#...",
    "...#................#...", "...####..........####...", "........................",
};
constexpr const char* kRangeSmallRows[] = {
    "................", "..###......###..", "..#..........#..", "..#..........#..",
    "..#..........#..", "..#..........#..", "..#.+######+.#..", "..#..........#..",
    "..#..........#..", "..#..........#..", "..###......###..", "................",
};

// A brace pair around two members: the set mode.
constexpr const char* kSetRows[] = {
    "........................", "....###..........###....", "...#................#...",
    "...#................#...", "...#................#...", "...#................#...",
    "...#................#...", "..#..................#..", ".#.....++......++.....#.",
    ".#.....++......++.....#.", "..#..................#..", "...#................#...",
    "...#................#...", "...#................#...", "...#................#...",
    "...#................#...", "....###..........###....", "........................",
};
constexpr const char* kSetSmallRows[] = {
    "................", "...##......##...", "..#..........#..", "..#..........#..",
    "..#..........#..", ".#...+....+...#.", ".#...+....+...#.", "..#..........#..",
    "..#..........#..", "..#..........#..", "...##......##...", "................",
};

constexpr int32_t kLargeWidth = 24, kLargeHeight = 18;
constexpr int32_t kSmallWidth = 16, kSmallHeight = 12;

static_assert(RowsAreWide<kLargeWidth>(kFormulaRows) && RowsAreWide<kLargeWidth>(kRangeRows) &&
              RowsAreWide<kLargeWidth>(kSetRows));
static_assert(RowsAreWide<kSmallWidth>(kFormulaSmallRows) && RowsAreWide<kSmallWidth>(kRangeSmallRows) &&
              RowsAreWide<kSmallWidth>(kSetSmallRows));

constexpr auto kFormula = Paint<kLargeWidth, kLargeHeight>(kFormulaRows);
constexpr auto kFormulaSmall = Paint<kSmallWidth, kSmallHeight>(kFormulaSmallRows);
constexpr auto kRange = Paint<kLargeWidth, kLargeHeight>(kRangeRows);
constexpr auto kRangeSmall = Paint<kSmallWidth, kSmallHeight>(kRangeSmallRows);
constexpr auto kSet = Paint<kLargeWidth, kLargeHeight>(kSetRows);
constexpr auto kSetSmall = Paint<kSmallWidth, kSmallHeight>(kSetSmallRows);

constexpr BitmapResource kBitmaps[] = {
    {"FORMULA", kLargeWidth, kLargeHeight, kFormula.bytes},
    {"FORMULAL", kSmallWidth, kSmallHeight, kFormulaSmall.bytes},
    {"RANGE", kLargeWidth, kLargeHeight, kRange.bytes},
    {"RANGEL", kSmallWidth, kSmallHeight, kRangeSmall.bytes},
    {"SET", kLargeWidth, kLargeHeight, kSet.bytes},
    {"SETL", kSmallWidth, kSmallHeight, kSetSmall.bytes},
};

}  // namespace

const BitmapResource* FindBitmap(const char* name) {
  if (name == nullptr) return nullptr;
  for (const BitmapResource& b : kBitmaps)
    if (platform::lstrcmpiA(b.name, name) == 0) return &b;
  return nullptr;
}

}  // namespace xev::resources
