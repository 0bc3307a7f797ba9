#include <gtest/gtest.h>

#include <string>

#include "xev/xev.h"

namespace {

std::string Message(uint32_t code, int32_t size = 256) {
  std::string buffer(static_cast<size_t>(size > 0 ? size : 1), 'x');
  int32_t length = XEVGetErrorMessage(code, buffer.data(), size);
  EXPECT_EQ(std::string(buffer.c_str()).size(), static_cast<size_t>(length));
  return buffer.c_str();
}

TEST(ErrorMessages, EveryCodeHasItsTextAndNothingElseHasOne) {
  EXPECT_EQ(Message(100), "ERR_TYPENUM: Input item, constant, or function must be Number data type.");
  EXPECT_EQ(Message(119), "ERR_PARMSTR : Parameter must be String input item, literal or function.");
  EXPECT_EQ(Message(125), "ERR_RECURSIVE: Formula referrences parent Formula, recursion not supported.");
  EXPECT_EQ(Message(137), "ERR_SUBCLASS: Parameter variable must be of expected type.");
  for (uint32_t code = 100; code <= 137; ++code)
    EXPECT_EQ(Message(code).rfind("ERR_", 0), code == 104 ? std::string::npos : 0u) << code;
  for (uint32_t code : {104, 99, 138, 0}) EXPECT_EQ(Message(code), "") << code;  // 104 captions dialogs
}

TEST(ErrorMessages, SmallBuffersAreCutAndTerminated) {
  EXPECT_EQ(Message(109, 8), "ERR_SYN");
  EXPECT_EQ(Message(109, 1), "");
  EXPECT_EQ(XEVGetErrorMessage(109, nullptr, 10), 0);
}

}  // namespace
