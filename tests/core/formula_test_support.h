// Formulas added by text to a context with the sales items, and cycles made
// past the parse checks that would refuse them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "language/parse_fixture.h"

namespace core_test {

class FormulaTest : public ::testing::Test {
 protected:
  void SetUp() override { parse_test::AddSalesItems(c); }
  // Without a name the formula gets a generated one.
  HEXP Add(const std::string& text, const char* name = nullptr) {
    HEXP exp = XEVParseFormula(c.ec, nullptr, text.c_str(), name, nullptr, nullptr);
    EXPECT_NE(exp, nullptr) << text;
    return exp;
  }
  HEXP Add(const std::string& text, const std::string& name) { return Add(text, name.c_str()); }
  // Gives exp the text and tree of another parse.
  void ForceText(HEXP exp, const std::string& text) {
    HEXP scratch = Add(text, "Scratch");
    std::swap(exp->root, scratch->root);
    ASSERT_TRUE(xev::core::SetExpressionStrings(exp, scratch->text, exp->name));
    ASSERT_EQ(XEVDestroyEXP(c.ec, scratch), 1);
  }
  parse_test::ParseContext c;
};

}  // namespace core_test
