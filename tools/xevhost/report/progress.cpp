#include "report/progress.h"

#include <unistd.h>

#include <cstdio>

namespace xevhost {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

Progress::Progress(std::string label, uint64_t total, uint64_t minRows)
    : label_(std::move(label)),
      total_(total),
      minRows_(minRows),
      terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { Finish(); }

void Progress::Update(uint64_t rows, uint64_t unitsDone) {
  rows_ = rows;
  units_ = unitsDone;
  // The clock is read only every 4096 rows: cheap enough for the inner loop.
  if (!terminal_ || rows < minRows_ || (rows & 4095) != 0) return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw(false);
}

void Progress::Finish() {
  if (!drawn_) return;
  Draw(true);
  drawn_ = false;
  terminal_ = false;
}

void Progress::Draw(bool last) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double rate = seconds > 0 ? static_cast<double>(rows_) / seconds : 0;
  double fraction = total_ > 0 ? static_cast<double>(units_) / static_cast<double>(total_) : 1.0;
  if (last || fraction > 1.0) fraction = 1.0;
  int filled = static_cast<int>(kBarWidth * fraction);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%% %llu rows, %.0f rows/s%s", label_.c_str(), bar.c_str(),
               static_cast<int>(fraction * 100), static_cast<unsigned long long>(rows_), rate,
               last ? "\n" : "");
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace xevhost
