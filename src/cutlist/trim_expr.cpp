#include "cutlist/trim_expr.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "util/int_math.h"
#include "util/scan.h"

namespace mendra {
namespace {

bool is_operator(char c) {
  return c == '+' || c == '-' || c == '*' || c == '/' || c == '%';
}

// One operator on two ints, defined for every pair of values:
// - + - * wrap around in 32 bits, like two's-complement hardware;
// - a division or remainder by zero gives 0 (scripts are hand-written, and a
//   zero divisor must neither crash the tool nor stop the cut list);
// - INT_MIN / -1 wraps to INT_MIN, and INT_MIN % -1 gives 0, the values the
//   wrapped quotient implies.
// Division truncates toward zero and the remainder has the sign of `left`.
std::int32_t apply_operator(char op, std::int32_t left, std::int32_t right) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  switch (op) {
    case '+':
      return wrap_add(left, right);
    case '-':
      return wrap_sub(left, right);
    case '*':
      return wrap_mul(left, right);
    case '/':
      if (right == 0) return 0;
      if (left == kMin && right == -1) return kMin;
      return left / right;
    default:  // '%'
      if (right == 0 || right == -1) return 0;
      return left % right;
  }
}

// Reduces a group, or the whole text, to the text of its value. At most one
// operator is applied: the left operand is everything before the first
// operator (after a leading sign: "--" reads as '+', "-" as '-'), the right
// operand is read with atoi rules from everything after it, so a sign right
// after the operator belongs to the right operand and whatever follows its
// leading number is dropped. Without an operator the left operand text is the
// value text as it stands ("--5" gives "+5"). Numbers beyond the int range
// saturate at its limits, as the atoi rules of util/scan do.
std::string reduce_operands(std::string_view text) {
  std::string left;
  std::size_t i = 0;
  if (text.starts_with("--")) {
    left = "+";
    i = 2;
  } else if (text.starts_with("-")) {
    left = "-";
    i = 1;
  }
  for (; i < text.size(); ++i) {
    if (is_operator(text[i])) {
      const std::int32_t l = parse_atoi(left);
      const std::int32_t r = parse_atoi(text.substr(i + 1));
      return std::to_string(apply_operator(text[i], l, r));
    }
    // Anything that is not an operator belongs to the left operand; atoi
    // stops at a stray parenthesis left by unbalanced text.
    left.push_back(text[i]);
  }
  return left;
}

}  // namespace

void eval_trim_expr(std::string& text, const Log& log) {
  log(LogLevel::Debug, "   calc: %s\t", text.c_str());
  // Innermost group first: the first ')' and the last '(' before it. A ')'
  // without any '(' before it takes the text from the start as its group.
  // Every round removes one ')', so the loop ends; the work texts are
  // std::string and grow as needed.
  for (;;) {
    std::size_t open = std::string::npos;
    std::size_t close = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '(') {
        open = i;
      } else if (text[i] == ')') {
        close = i;
        break;
      }
    }
    if (close == std::string::npos) break;
    const std::size_t group_start = open == std::string::npos ? 0 : open + 1;
    const std::string_view whole(text);
    std::string reduced(whole.substr(0, open == std::string::npos ? 0 : open));
    reduced += reduce_operands(whole.substr(group_start, close - group_start));
    reduced += whole.substr(close + 1);
    text = std::move(reduced);
  }
  log(LogLevel::Debug, "   last c: %s\t", text.c_str());
  text = reduce_operands(text);
  log(LogLevel::Debug, "\tresult:%s\n", text.c_str());
}

}  // namespace mendra
