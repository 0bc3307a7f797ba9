// A progress bar on stderr for long inputs: how far, rows done, rows per
// second. It draws only when stderr is a terminal, so logs and pipes stay
// clean, and only once an input has passed a number of rows.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace xevhost {

class Progress {
 public:
  // total is in whatever units Update's second argument counts (rows or bytes).
  Progress(std::string label, uint64_t total, uint64_t minRows);
  ~Progress();
  void Update(uint64_t rows, uint64_t unitsDone);
  void Finish();

 private:
  void Draw(bool last);

  std::string label_;
  uint64_t total_;
  uint64_t minRows_;
  bool terminal_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  uint64_t rows_ = 0;
  uint64_t units_ = 0;
};

}  // namespace xevhost
