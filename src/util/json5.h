// A reader of JSON5 text, the JSON that people and JavaScript tools write
// by hand: comments, unquoted keys, single-quoted strings, trailing commas,
// hexadecimal and signed numbers, Infinity and NaN. The text becomes a tree
// of values; numbers are kept as written, so that a caller can read a
// decimal exactly. Depth and size are bounded and every read stays inside
// the text, so hostile input gets an error with its line, never a crash.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mendra {

enum class Json5Type { Null, Boolean, Number, String, Array, Object };

struct Json5Value {
  Json5Type type = Json5Type::Null;
  int line = 0;  // where the value begins, from 1
  bool boolean = false;
  // A string's content in UTF-8, escapes resolved; a number's literal as
  // written ("-1.5e3", "0x1F", "Infinity"), sign included.
  std::string text;
  // An array's elements, or an object's member values in order; an
  // object's keys stand at the same positions in `keys`.
  std::vector<Json5Value> items;
  std::vector<std::string> keys;
};

struct Json5Error {
  int line = 0;  // from 1
  const char* what = "";
};

// Limits that keep a hostile text from exhausting the stack or memory.
constexpr int kJson5MaxDepth = 64;
constexpr std::size_t kJson5MaxValues = 500000;

// Reads one value, with nothing but white space and comments around it.
// False with the line and the reason when the text is no JSON5 or is
// beyond the limits; `root` is then unspecified.
bool parse_json5(std::string_view text, Json5Value& root, Json5Error& error);

// An object's member of that key (the last one, when a key repeats, as
// JavaScript reads it); nullptr when there is none or `object` is no
// object.
const Json5Value* json5_member(const Json5Value& object, std::string_view key);

}  // namespace mendra
