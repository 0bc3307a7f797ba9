// The reference host's output side where its end-to-end tests do not check
// it: the texts of NULL values, which the reports write without these.
#include <string>

#include <gtest/gtest.h>

#include "report/report_output.h"

namespace {

TEST(ReportOutput, NullValuesHaveAnEmptyText) {
  NumberValue n{}, d{};
  EXPECT_EQ(xevhost::NumberText(n) + xevhost::DateTimeText(d), "");
}

}  // namespace
