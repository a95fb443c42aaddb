#include "util/json5.h"

#include <gtest/gtest.h>

#include <string>

namespace mendra {
namespace {

// What JSON5 adds to JSON, each read into the value it stands for.
TEST(Json5Test, ReadsWhatJson5Allows) {
  const std::string text =
      "\xEF\xBB\xBF// a project\n"
      "{\n"
      "  unquoted: 'single \\'quoted\\'',\n"
      "  $_key2: \"double \\\"quoted\\\"\",\n"
      "  'quoted key': [1, +2.5, -.5, 5., 0x1F, 1e-3, Infinity, -NaN,],\n"
      "  /* a block\n     comment */ escapes: '\\x41\\u00e9\\uD83D\\uDE00\\0\\q\\\n"
      "next',\n"
      "  nothing: null, yes: true, no: false,\n"
      "  nested: {a: {b: [[]]}},\n"
      "  unquoted: 'again',\n"
      "}\n";
  Json5Value root;
  Json5Error error;
  ASSERT_TRUE(parse_json5(text, root, error)) << error.line << ": " << error.what;
  ASSERT_EQ(root.type, Json5Type::Object);
  EXPECT_EQ(root.line, 2);
  // A repeated key: the last one counts.
  EXPECT_EQ(json5_member(root, "unquoted")->text, "again");
  EXPECT_EQ(json5_member(root, "$_key2")->text, "double \"quoted\"");
  const Json5Value* numbers = json5_member(root, "quoted key");
  ASSERT_NE(numbers, nullptr);
  ASSERT_EQ(numbers->items.size(), 8u);
  const char* literals[] = {"1", "+2.5", "-.5", "5.", "0x1F", "1e-3", "Infinity", "-NaN"};
  for (std::size_t i = 0; i < numbers->items.size(); ++i) {
    EXPECT_EQ(numbers->items[i].type, Json5Type::Number);
    EXPECT_EQ(numbers->items[i].text, literals[i]);
  }
  const Json5Value* escapes = json5_member(root, "escapes");
  ASSERT_NE(escapes, nullptr);
  EXPECT_EQ(escapes->line, 7);
  EXPECT_EQ(escapes->text, std::string("A\xC3\xA9\xF0\x9F\x98\x80\0qnext", 13));
  EXPECT_EQ(json5_member(root, "nothing")->type, Json5Type::Null);
  EXPECT_TRUE(json5_member(root, "yes")->boolean);
  EXPECT_FALSE(json5_member(root, "no")->boolean);
  EXPECT_EQ(json5_member(root, "nested")->line, 10);
  EXPECT_EQ(json5_member(root, "missing"), nullptr);
  EXPECT_EQ(json5_member(*numbers, "0"), nullptr);  // an array has no members
}

// Whatever is wrong is named with its line; nothing reads past the text.
TEST(Json5Test, RefusesWhatIsNoJson5WithItsLine) {
  const struct {
    std::string text;
    int line;
  } cases[] = {
      {"", 1},
      {"{a: 1", 1},
      {"{\n a 1}", 2},
      {"[1 2]", 1},
      {"{a: 1,, b: 2}", 1},
      {"[01]", 1},
      {"[1.2.3]", 1},
      {"[12abc]", 1},
      {"['a\nb']", 1},
      {"\n\n'unclosed", 3},
      {"/* never closed", 1},
      {"{1a: 2}", 1},
      {"['\\1']", 1},
      {"['\\x4']", 1},
      {"['\\u12']", 1},
      {"[tru]", 1},
      {"[1] [2]", 1},
      {"[\n-]", 2},
      {"{a: 'x' 'y'}", 1},
      {std::string(1, '\0'), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Json5Value root;
    Json5Error error;
    EXPECT_FALSE(parse_json5(c.text, root, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_STRNE(error.what, "");
  }
}

TEST(Json5Test, DepthAndSizeAreBounded) {
  Json5Value root;
  Json5Error error;
  const auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
  };
  EXPECT_TRUE(parse_json5(nested(kJson5MaxDepth), root, error));
  EXPECT_FALSE(parse_json5(nested(kJson5MaxDepth + 1), root, error));
  EXPECT_STREQ(error.what, "nested too deep");
  // A million nested brackets fail at the bound, far from the stack's end.
  EXPECT_FALSE(parse_json5(std::string(1000000, '['), root, error));

  std::string many = "[";
  for (std::size_t i = 0; i < kJson5MaxValues; ++i) many += "0,";
  many += "]";
  EXPECT_FALSE(parse_json5(many, root, error));
  EXPECT_STREQ(error.what, "too many values");
  many.erase(1, 2);  // one value fewer: the array and its elements fit
  EXPECT_TRUE(parse_json5(many, root, error));
}

}  // namespace
}  // namespace mendra
