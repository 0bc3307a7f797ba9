// The reference host's input side where its end-to-end tests do not check
// it: the data item names it makes of column headers.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/column_types.h"
#include "xev/xev.h"

namespace {

TEST(ColumnTypes, HeadersBecomeNamesFormulasCanWrite) {
  std::vector<std::string> names = xevhost::DataItemNames(
      {"Order Date", "Unit Price ($)", "2nd Address", "Month", "days", "and", "", "Order Date", "Total", "Total",
       "Distinct", "ALL"});
  EXPECT_EQ(names, (std::vector<std::string>{"Order_Date", "Unit_Price_$", "_2nd_Address", "_Month", "_days",
                                             "_and", "Column7", "Order_Date_2", "Total", "Total_2", "_Distinct",
                                             "_ALL"}));
  for (const std::string& name : names) EXPECT_EQ(XEVValidName(nullptr, name.c_str(), nullptr), 1) << name;
}

}  // namespace
