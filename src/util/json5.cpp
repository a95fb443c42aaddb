#include "util/json5.h"

#include <cstdint>

namespace mendra {
namespace {

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_decimal(char c) {
  return c >= '0' && c <= '9';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Characters of an unquoted key: ASCII letters, digits, '$' and '_', and
// any byte of a multi-byte character (keys may be written in any script).
bool is_identifier_char(char c) {
  return is_ascii_letter(c) || is_decimal(c) || c == '$' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

struct Json5Parser {
  std::string_view text;
  std::size_t pos = 0;
  int line = 1;
  std::size_t values = 0;
  Json5Error error;

  bool fail(const char* what) {
    error = Json5Error{line, what};
    return false;
  }

  bool at(std::size_t offset, char c) const {
    return pos + offset < text.size() && text[pos + offset] == c;
  }

  bool starts_with(std::string_view word) const { return text.substr(pos).starts_with(word); }

  // The length of a white-space character other than ASCII at pos (the
  // no-break space, the byte-order mark, the line and paragraph separators
  // and the other spaces of Unicode), or 0.
  std::size_t unicode_space() const {
    static constexpr std::string_view kSpaces[] = {
        "\xC2\xA0",     "\xEF\xBB\xBF", "\xE1\x9A\x80", "\xE2\x80\xA8",
        "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    for (const std::string_view space : kSpaces) {
      if (starts_with(space)) return space.size();
    }
    // U+2000 to U+200A
    if (starts_with("\xE2\x80") && pos + 2 < text.size() &&
        static_cast<unsigned char>(text[pos + 2]) >= 0x80 &&
        static_cast<unsigned char>(text[pos + 2]) <= 0x8A) {
      return 3;
    }
    return 0;
  }

  // White space and comments; false for a block comment that never ends.
  bool skip_space() {
    while (pos < text.size()) {
      const char c = text[pos];
      if (c == '\n') {
        ++line;
        ++pos;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
        ++pos;
      } else if (c == '/' && at(1, '/')) {
        while (pos < text.size() && text[pos] != '\n') ++pos;
      } else if (c == '/' && at(1, '*')) {
        const std::size_t end = text.find("*/", pos + 2);
        if (end == std::string_view::npos) return fail("comment not closed");
        for (std::size_t i = pos; i < end; ++i) {
          if (text[i] == '\n') ++line;
        }
        pos = end + 2;
      } else if (const std::size_t length = unicode_space(); length > 0) {
        pos += length;
      } else {
        break;
      }
    }
    return true;
  }

  // Four hexadecimal digits at pos, consumed.
  bool hex4(std::uint32_t& code) {
    if (pos + 4 > text.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hex_value(text[pos++]);
      if (digit < 0) return false;
      code = code * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  // The escape after a backslash (pos stands after the backslash).
  bool escape(std::string& out) {
    if (pos >= text.size()) return fail("string not closed");
    // A line end after the backslash continues the string on the next line.
    if (starts_with("\xE2\x80\xA8") || starts_with("\xE2\x80\xA9")) {
      pos += 3;
      return true;
    }
    const char c = text[pos++];
    switch (c) {
      case 'b':
        out.push_back('\b');
        return true;
      case 'f':
        out.push_back('\f');
        return true;
      case 'n':
        out.push_back('\n');
        return true;
      case 'r':
        out.push_back('\r');
        return true;
      case 't':
        out.push_back('\t');
        return true;
      case 'v':
        out.push_back('\v');
        return true;
      case '\n':
        ++line;
        return true;
      case '\r':
        if (at(0, '\n')) {
          ++pos;
          ++line;
        }
        return true;
      case '0':
        if (pos < text.size() && is_decimal(text[pos])) return fail("digit after \\0");
        out.push_back('\0');
        return true;
      case 'x': {
        if (pos + 2 > text.size()) return fail("bad \\x escape");
        const int high = hex_value(text[pos]);
        const int low = hex_value(text[pos + 1]);
        if (high < 0 || low < 0) return fail("bad \\x escape");
        pos += 2;
        append_utf8(out, static_cast<std::uint32_t>(high * 16 + low));
        return true;
      }
      case 'u': {
        std::uint32_t code = 0;
        if (!hex4(code)) return fail("bad \\u escape");
        if (code >= 0xD800 && code <= 0xDBFF && at(0, '\\') && at(1, 'u')) {
          const std::size_t before = pos;
          pos += 2;
          std::uint32_t low = 0;
          if (hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else {
            pos = before;
          }
        }
        // A surrogate left alone has no UTF-8 form: it stands for itself
        // as the replacement character.
        if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
        append_utf8(out, code);
        return true;
      }
      default:
        if (is_decimal(c)) return fail("digit escape");
        // Any other character stands for itself (\' \" \\ \/).
        out.push_back(c);
        return true;
    }
  }

  bool string(std::string& out) {
    const char quote = text[pos++];
    for (;;) {
      if (pos >= text.size()) return fail("string not closed");
      const char c = text[pos];
      if (c == quote) {
        ++pos;
        return true;
      }
      if (c == '\n' || c == '\r') return fail("line end inside a string");
      ++pos;
      if (c == '\\') {
        if (!escape(out)) return false;
      } else {
        out.push_back(c);
      }
    }
  }

  bool key(std::string& out) {
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) return string(out);
    const std::size_t start = pos;
    if (pos < text.size() && !is_decimal(text[pos])) {
      while (pos < text.size() && is_identifier_char(text[pos])) ++pos;
    }
    if (pos == start) return fail("not a key");
    out.assign(text.substr(start, pos - start));
    return true;
  }

  bool number(std::string& out) {
    const std::size_t start = pos;
    if (at(0, '+') || at(0, '-')) ++pos;
    if (starts_with("Infinity")) {
      pos += 8;
    } else if (starts_with("NaN")) {
      pos += 3;
    } else if (at(0, '0') && (at(1, 'x') || at(1, 'X'))) {
      pos += 2;
      const std::size_t digits = pos;
      while (pos < text.size() && hex_value(text[pos]) >= 0) ++pos;
      if (pos == digits) return fail("not a number");
    } else {
      std::size_t digits = 0;
      if (at(0, '0') && pos + 1 < text.size() && is_decimal(text[pos + 1])) {
        return fail("number with a leading zero");
      }
      const auto skip_digits = [&] {
        const std::size_t from = pos;
        while (pos < text.size() && is_decimal(text[pos])) ++pos;
        digits += pos - from;
      };
      skip_digits();
      if (at(0, '.')) {
        ++pos;
        skip_digits();
      }
      if (digits == 0) return fail("not a number");
      if (at(0, 'e') || at(0, 'E')) {
        ++pos;
        if (at(0, '+') || at(0, '-')) ++pos;
        const std::size_t exponent = pos;
        while (pos < text.size() && is_decimal(text[pos])) ++pos;
        if (pos == exponent) return fail("not a number");
      }
    }
    if (pos < text.size() && is_identifier_char(text[pos])) return fail("not a number");
    out.assign(text.substr(start, pos - start));
    return true;
  }

  // A word (true, false, null) that ends where the identifier ends.
  bool word(std::string_view spelling) {
    if (!starts_with(spelling)) return false;
    const std::size_t end = pos + spelling.size();
    if (end < text.size() && is_identifier_char(text[end])) return false;
    pos = end;
    return true;
  }

  bool array(Json5Value& out, int depth) {
    ++pos;  // '['
    if (!skip_space()) return false;
    for (;;) {
      if (at(0, ']')) {
        ++pos;
        return true;
      }
      out.items.emplace_back();
      if (!value(out.items.back(), depth + 1) || !skip_space()) return false;
      if (at(0, ',')) {
        ++pos;
        if (!skip_space()) return false;
      } else if (!at(0, ']')) {
        return fail("expected ',' or ']'");
      }
    }
  }

  bool object(Json5Value& out, int depth) {
    ++pos;  // '{'
    if (!skip_space()) return false;
    for (;;) {
      if (at(0, '}')) {
        ++pos;
        return true;
      }
      out.keys.emplace_back();
      if (!key(out.keys.back()) || !skip_space()) return false;
      if (!at(0, ':')) return fail("expected ':'");
      ++pos;
      if (!skip_space()) return false;
      out.items.emplace_back();
      if (!value(out.items.back(), depth + 1) || !skip_space()) return false;
      if (at(0, ',')) {
        ++pos;
        if (!skip_space()) return false;
      } else if (!at(0, '}')) {
        return fail("expected ',' or '}'");
      }
    }
  }

  bool value(Json5Value& out, int depth) {
    if (depth > kJson5MaxDepth) return fail("nested too deep");
    if (++values > kJson5MaxValues) return fail("too many values");
    out.line = line;
    if (pos >= text.size()) return fail("value missing");
    const char c = text[pos];
    if (c == '{') {
      out.type = Json5Type::Object;
      return object(out, depth);
    }
    if (c == '[') {
      out.type = Json5Type::Array;
      return array(out, depth);
    }
    if (c == '"' || c == '\'') {
      out.type = Json5Type::String;
      return string(out.text);
    }
    if (word("true") || word("false")) {
      out.type = Json5Type::Boolean;
      out.boolean = c == 't';
      return true;
    }
    if (word("null")) {
      out.type = Json5Type::Null;
      return true;
    }
    if (is_decimal(c) || c == '+' || c == '-' || c == '.' || c == 'I' || c == 'N') {
      out.type = Json5Type::Number;
      return number(out.text);
    }
    return fail("not a value");
  }
};

}  // namespace

bool parse_json5(std::string_view text, Json5Value& root, Json5Error& error) {
  Json5Parser parser;
  parser.text = text;
  root = Json5Value{};
  const bool ok = parser.skip_space() && parser.value(root, 1) && parser.skip_space() &&
                  (parser.pos == text.size() || parser.fail("text after the value"));
  error = parser.error;
  return ok;
}

const Json5Value* json5_member(const Json5Value& object, std::string_view key) {
  if (object.type != Json5Type::Object) return nullptr;
  for (std::size_t i = object.keys.size(); i-- > 0;) {
    if (i < object.items.size() && object.keys[i] == key) return &object.items[i];
  }
  return nullptr;
}

}  // namespace mendra
