// Driving the kit from a test: a script of steps that the headless
// presenter's input hook runs one per wait, and a check that a test leaves
// no window and no block behind.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "oom/sweep.h"
#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "xev/xevhost.h"
#include "xev/xevui.h"

namespace uitest {

// Each step acts on the innermost modal dialog when the kit waits for input.
// When the steps run out the hook says no more input will come.
class Script {
 public:
  using Step = std::function<void(XEVHWND modal)>;
  Script() { XEVUiSetInputHook(&Script::Hook, this); }
  ~Script() { XEVUiSetInputHook(nullptr, nullptr); }
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;
  Script& Then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }
  size_t done() const { return next_; }

 private:
  static int32_t XEV_CALL Hook(void* context, XEVHWND modal) {
    auto* self = static_cast<Script*>(context);
    if (self->next_ >= self->steps_.size()) return 0;
    self->steps_[self->next_++](modal);
    return 1;
  }
  std::vector<Step> steps_;
  size_t next_ = 0;
};

// Every test starts and ends with no window, no queued message and the same
// number of live blocks.
class KitTest : public oom::NoLeakTest {
 protected:
  void SetUp() override {
    XEVUiRunPending();
    NoLeakTest::SetUp();
  }
  void TearDown() override {
    XEVUiRunPending();
    XEVUiSetClipboardText(nullptr);
    EXPECT_EQ(xev::ui::kit::LiveWindowCount(), 0) << "windows left behind";
    NoLeakTest::TearDown();
  }
};

inline std::string TextOf(XEVHWND window) {
  char buffer[1024];
  XEVUiGetWindowText(window, buffer, sizeof buffer);
  return buffer;
}

// The selection of an edit as {start, end}.
inline std::pair<uint32_t, uint32_t> SelectionOf(XEVHWND edit) {
  uint32_t start = 0, end = 0;
  xev::ui::SendMessageA(edit, xev::ui::EM_GETSEL, reinterpret_cast<xev::ui::WPARAM>(&start),
                        reinterpret_cast<xev::ui::LPARAM>(&end));
  return {start, end};
}

}  // namespace uitest
