#include "cutlist/trim_expr.h"

#include <gtest/gtest.h>

#include <string>

#include "cut_list_fixture.h"
#include "util/scan.h"

namespace mendra {
namespace {

using test::calc_trace;

struct ExprCase {
  const char* text;
  const char* reduced;  // after group reduction, as traced by "last c"
  const char* result;   // the final text
  int value;            // what the Trim reader takes with atoi rules
};

void PrintTo(const ExprCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class EvalTrimExprTest : public ::testing::TestWithParam<ExprCase> {};

TEST_P(EvalTrimExprTest, RewritesTextAndTracesEachStep) {
  const ExprCase& c = GetParam();
  std::string text = c.text;
  ::testing::internal::CaptureStderr();
  eval_trim_expr(text, Log{stderr_message_sink, nullptr, LogLevel::Debug});
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(text, c.result);
  EXPECT_EQ(parse_atoi(text), c.value);
  EXPECT_EQ(log, calc_trace(c.text, c.reduced, c.result));
}

// One operator per group and per text, left to right, no precedence.
INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, EvalTrimExprTest,
    ::testing::Values(ExprCase{"100+5", "100+5", "105", 105},
                      ExprCase{"(10*3)-2", "30-2", "28", 28}, ExprCase{"-5", "-5", "-5", -5},
                      ExprCase{"--5", "--5", "+5", 5}, ExprCase{"1+2+3", "1+2+3", "3", 3},
                      ExprCase{"10-2*3", "10-2*3", "8", 8}, ExprCase{"2*(3+4)", "2*7", "14", 14},
                      ExprCase{"(1+2)*(3+4)", "3*7", "21", 21},
                      ExprCase{"((2+3)*4)", "20", "20", 20},
                      ExprCase{"10-(2-5)", "10--3", "13", 13}, ExprCase{"-(2-5)", "--3", "+3", 3},
                      ExprCase{"7/2", "7/2", "3", 3}, ExprCase{"-7%3", "-7%3", "-1", -1},
                      ExprCase{"", "", "", 0}));

INSTANTIATE_TEST_SUITE_P(
    Operators, EvalTrimExprTest,
    ::testing::Values(ExprCase{"42", "42", "42", 42},
                      ExprCase{"-7/2", "-7/2", "-3", -3},  // truncation toward zero
                      ExprCase{"7%-3", "7%-3", "1", 1},    // sign of the left operand
                      ExprCase{"+5", "+5", "5", 5},        // empty left operand is 0
                      ExprCase{"*5", "*5", "0", 0}, ExprCase{"/5", "/5", "0", 0},
                      ExprCase{"--5+3", "--5+3", "8", 8},  // "--" reads as '+'
                      ExprCase{"5+-3", "5+-3", "2", 2},    // sign of the right operand
                      ExprCase{"-", "-", "-", 0}, ExprCase{"()", "", "", 0},  // an empty group
                      ExprCase{"(5)", "5", "5", 5}, ExprCase{"((((7))))", "7", "7", 7},
                      ExprCase{"007", "007", "007", 7}));  // not reformatted

// A division or remainder by zero gives 0; INT_MIN / -1 wraps to INT_MIN and
// INT_MIN % -1 gives 0; + - * wrap around in 32 bits; operands beyond the int
// range saturate at its limits.
INSTANTIATE_TEST_SUITE_P(
    DefinedForEveryValue, EvalTrimExprTest,
    ::testing::Values(ExprCase{"5/0", "5/0", "0", 0}, ExprCase{"5%0", "5%0", "0", 0},
                      ExprCase{"-5/0", "-5/0", "0", 0}, ExprCase{"0/0", "0/0", "0", 0},
                      ExprCase{"(7/0)+3", "0+3", "3", 3}, ExprCase{"(7%0)-3", "0-3", "-3", -3},
                      ExprCase{"/", "/", "0", 0}, ExprCase{"%", "%", "0", 0},
                      ExprCase{"-2147483648/-1", "-2147483648/-1", "-2147483648", -2147483647 - 1},
                      ExprCase{"-2147483648%-1", "-2147483648%-1", "0", 0},
                      ExprCase{"7%-1", "7%-1", "0", 0},
                      ExprCase{"2147483647+1", "2147483647+1", "-2147483648", -2147483647 - 1},
                      ExprCase{"-2147483647-2", "-2147483647-2", "2147483647", 2147483647},
                      ExprCase{"65536*65536", "65536*65536", "0", 0},
                      ExprCase{"46341*46341", "46341*46341", "-2147479015", -2147479015},
                      ExprCase{"99999999999+0", "99999999999+0", "2147483647", 2147483647},
                      ExprCase{"0-99999999999", "0-99999999999", "-2147483647", -2147483647},
                      ExprCase{"99999999999", "99999999999", "99999999999", 2147483647}));

// Text with unbalanced parentheses, as a comma inside nested parentheses
// leaves it: a ')' without '(' reduces from the start of the text, and a
// stray '(' stops the atoi reading of its operand.
INSTANTIATE_TEST_SUITE_P(Unbalanced, EvalTrimExprTest,
                         ::testing::Values(ExprCase{"2)+3", "2+3", "5", 5},
                                           ExprCase{")5+1", "5+1", "6", 6},
                                           ExprCase{"(1+2", "(1+2", "2", 2},
                                           ExprCase{"(1", "(1", "(1", 0},
                                           ExprCase{"4)*(2", "4*(2", "0", 0}));

TEST(EvalTrimExprLongText, WorkTextsGrowAsNeeded) {
  // Far beyond 255 characters: no fixed buffer to overflow.
  std::string text(1000, '(');
  text += "6*7";
  text += std::string(1000, ')');
  eval_trim_expr(text, Log{stderr_message_sink, nullptr, LogLevel::Info});  // traces silent
  EXPECT_EQ(text, "42");
}

}  // namespace
}  // namespace mendra
