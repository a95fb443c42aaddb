#include "subtitle/ass_effects.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace mendra {
namespace {

// One argument or value replaced: the bytes [pos, pos + size) of the text
// become `text`. Everything between edits is copied as it was.
struct Edit {
  std::size_t pos = 0;
  std::size_t size = 0;
  std::string text;
};

// An argument of a tag without the blanks around it, and where it lies.
struct Arg {
  std::size_t pos = 0;
  std::string_view text;
};

using Edits = std::vector<Edit>;

constexpr std::string_view kBlanks = " \t";
constexpr std::int64_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kMaxIntDigits = 10;
// Coordinates are held in thousandths of a pixel: finer than any renderer
// places text, and exact for the usual whole and decimal values.
constexpr std::int64_t kCoordinateUnit = 1000;
constexpr std::size_t kCoordinateDecimals = 3;
constexpr std::size_t kMaxCoordinateDigits = 9;

// A whole number of at most the int range: digits only.
bool read_whole(std::string_view text, std::int64_t& value) {
  if (text.empty() || text.size() > kMaxIntDigits) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= kMaxInt;
}

bool all_digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "-12", "340.5", "+7.125": a sign, digits, and a decimal part of which the
// first three digits count.
bool read_coordinate(std::string_view text, std::int64_t& thousandths) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view decimals =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() || whole.size() > kMaxCoordinateDigits || !all_digits(whole) ||
      !all_digits(decimals)) {
    return false;
  }
  std::int64_t value = 0;
  for (const char c : whole) value = value * 10 + (c - '0');
  for (std::size_t i = 0; i < kCoordinateDecimals; ++i) {
    value = value * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
  }
  thousandths = negative ? -value : value;
  return true;
}

// The shortest decimal text of a coordinate in thousandths: "12", "-3.5".
std::string coordinate_text(std::int64_t thousandths) {
  std::string text = thousandths < 0 ? "-" : "";
  const std::int64_t magnitude = thousandths < 0 ? -thousandths : thousandths;
  text += std::to_string(magnitude / kCoordinateUnit);
  std::int64_t rest = magnitude % kCoordinateUnit;
  if (rest != 0) {
    std::string decimals = std::to_string(rest + kCoordinateUnit).substr(1);
    while (decimals.back() == '0') decimals.pop_back();
    text += '.';
    text += decimals;
  }
  return text;
}

// from + (to - from) * num / den, to the nearest thousandth (halves up);
// 0 <= num <= den, den > 0.
std::int64_t interpolate(std::int64_t from, std::int64_t to, std::int64_t num, std::int64_t den) {
  __extension__ using Wide = __int128;
  const Wide scaled = Wide{to - from} * num * 2 + den;
  Wide step = scaled / (Wide{den} * 2);
  if (scaled % (Wide{den} * 2) != 0 && scaled < 0) --step;
  return from + static_cast<std::int64_t>(step);
}

// The arguments between `begin` and `end` (the parentheses' insides),
// split at commas. With `stop_at_tags`, the split stops before the first
// argument that begins with a backslash, the tags of a \t, which is not
// split (its own commas are its tags').
std::vector<Arg> split_args(std::string_view text, std::size_t begin, std::size_t end,
                            bool stop_at_tags, bool& found_tags) {
  std::vector<Arg> args;
  found_tags = false;
  std::size_t pos = begin;
  for (;;) {
    std::size_t comma = text.find(',', pos);
    if (comma == std::string_view::npos || comma > end) comma = end;
    std::string_view arg = text.substr(pos, comma - pos);
    const std::size_t lead = std::min(arg.find_first_not_of(kBlanks), arg.size());
    arg.remove_prefix(lead);
    const std::size_t last = arg.find_last_not_of(kBlanks);
    arg = arg.substr(0, last == std::string_view::npos ? 0 : last + 1);
    if (stop_at_tags && arg.starts_with('\\')) {
      found_tags = true;
      return args;
    }
    args.push_back(Arg{pos + lead, arg});
    if (comma == end) return args;
    pos = comma + 1;
  }
}

void replace(const Arg& arg, std::string text, Edits& edits) {
  if (text != arg.text) edits.push_back(Edit{arg.pos, arg.text.size(), std::move(text)});
}

// A time counted from the start, moved earlier by the shift, held at 0.
std::string earlier(std::int64_t time, std::int64_t shift) {
  return std::to_string(std::max<std::int64_t>(0, time - shift));
}

// \fad(in,out) and its two-argument \fade: the fade-in loses the time cut.
void shift_fad(const std::vector<Arg>& args, std::int64_t shift, Edits& edits) {
  std::int64_t fade_in = 0;
  std::int64_t fade_out = 0;
  if (args.size() != 2 || !read_whole(args[0].text, fade_in) ||
      !read_whole(args[1].text, fade_out)) {
    return;
  }
  replace(args[0], earlier(fade_in, shift), edits);
}

// \fade(a1,a2,a3,t1,t2,t3,t4): the four times move earlier.
void shift_fade(const std::vector<Arg>& args, std::int64_t shift, Edits& edits) {
  if (args.size() == 2) {
    shift_fad(args, shift, edits);
    return;
  }
  constexpr std::size_t kFadeArgs = 7;
  constexpr std::size_t kFirstTime = 3;
  std::int64_t values[kFadeArgs] = {};
  if (args.size() != kFadeArgs) return;
  for (std::size_t i = 0; i < kFadeArgs; ++i) {
    if (!read_whole(args[i].text, values[i])) return;
  }
  for (std::size_t i = kFirstTime; i < kFadeArgs; ++i) {
    replace(args[i], earlier(values[i], shift), edits);
  }
}

// \move(x1,y1,x2,y2[,t1,t2]).
void shift_move(const std::vector<Arg>& args, const EffectShift& shift, Edits& edits) {
  constexpr std::size_t kPoints = 4;
  constexpr std::size_t kTimed = 6;
  if (args.size() != kPoints && args.size() != kTimed) return;
  std::int64_t xy[kPoints] = {};
  for (std::size_t i = 0; i < kPoints; ++i) {
    if (!read_coordinate(args[i].text, xy[i])) return;
  }
  std::int64_t t1 = 0;
  std::int64_t t2 = 0;
  if (args.size() == kTimed &&
      (!read_whole(args[kPoints].text, t1) || !read_whole(args[kPoints + 1].text, t2))) {
    return;
  }
  const std::int64_t cut = shift.ms;
  // Without times (or with 0,0) the move spans the event: from the cut
  // point on it runs the rest of its path.
  const bool whole_event = t1 == 0 && t2 == 0;
  if (whole_event) {
    t2 = shift.event_ms;
    if (t2 <= 0) return;
  } else if (t1 > t2) {
    return;
  }
  if (cut >= t2) {
    // Finished before the cut: it stays at its end.
    replace(args[0], std::string(args[2].text), edits);
    replace(args[1], std::string(args[3].text), edits);
  } else if (cut > t1) {
    replace(args[0], coordinate_text(interpolate(xy[0], xy[2], cut - t1, t2 - t1)), edits);
    replace(args[1], coordinate_text(interpolate(xy[1], xy[3], cut - t1, t2 - t1)), edits);
  }
  if (!whole_event) {
    // A finished move reads 0,0, the whole event, from one point to itself.
    replace(args[kPoints], earlier(t1, cut), edits);
    replace(args[kPoints + 1], earlier(t2, cut), edits);
  }
}

// \t(t1,t2[,accel],tags): the times move earlier. A \t without times (or
// with 0,0) spans the event as it stands and is left.
void shift_transform(std::string_view text, std::size_t begin, std::size_t end, std::int64_t shift,
                     Edits& edits) {
  bool found_tags = false;
  const std::vector<Arg> args = split_args(text, begin, end, true, found_tags);
  std::int64_t t1 = 0;
  std::int64_t t2 = 0;
  if (!found_tags || args.size() < 2 || args.size() > 3 || !read_whole(args[0].text, t1) ||
      !read_whole(args[1].text, t2) || (t1 == 0 && t2 == 0)) {
    return;
  }
  replace(args[0], earlier(t1, shift), edits);
  // 0,0 would span the whole event; 1 ms completes at once, as it had.
  replace(args[1], std::to_string(std::max<std::int64_t>(1, t2 - shift)), edits);
}

// The karaoke syllables of the line so far: their total, and whether their
// times are still known.
struct Karaoke {
  std::int64_t cut = 0;  // centiseconds
  std::int64_t total = 0;
  bool known = true;
};

// A karaoke tag's value at `pos`: the part of the syllable before the cut
// goes. Returns where the tag ends.
std::size_t shift_syllable(std::string_view text, std::size_t pos, std::size_t end,
                           Karaoke& karaoke, Edits& edits) {
  std::size_t digits_end = pos;
  while (digits_end < end && text[digits_end] >= '0' && text[digits_end] <= '9') ++digits_end;
  const std::string_view digits = text.substr(pos, digits_end - pos);
  if (digits.empty()) {
    // "\k" alone is a syllable of no time; anything else ("\k-5", "\k.5")
    // leaves the later syllables' times unknown.
    if (pos < end && text[pos] != '\\' && kBlanks.find(text[pos]) == std::string_view::npos) {
      karaoke.known = false;
    }
    return pos;
  }
  std::int64_t duration = 0;
  if (!read_whole(digits, duration) || (digits_end < end && text[digits_end] == '.')) {
    karaoke.known = false;
    return digits_end;
  }
  const std::int64_t start = karaoke.total;
  karaoke.total += duration;
  const std::int64_t kept = std::max<std::int64_t>(0, karaoke.total - karaoke.cut) -
                            std::max<std::int64_t>(0, start - karaoke.cut);
  if (kept != duration) {
    edits.push_back(Edit{pos, digits.size(), std::to_string(kept)});
  }
  return digits_end;
}

// The closing parenthesis that matches the one before `begin`, or npos.
std::size_t matching_paren(std::string_view text, std::size_t begin, std::size_t end) {
  int depth = 1;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i;
  }
  return std::string_view::npos;
}

// The tags of one override block, text[begin, end).
void shift_block(std::string_view text, std::size_t begin, std::size_t end,
                 const EffectShift& shift, Karaoke& karaoke, Edits& edits) {
  std::size_t pos = begin;
  while (pos < end) {
    const std::size_t slash = text.find('\\', pos);
    if (slash == std::string_view::npos || slash >= end) return;
    const std::size_t name = slash + 1;
    const std::string_view rest = text.substr(name, end - name);
    if (rest.starts_with("t(")) {
      const std::size_t open = name + 1;
      const std::size_t close = matching_paren(text, open + 1, end);
      if (close == std::string_view::npos) return;
      shift_transform(text, open + 1, close, shift.ms, edits);
      pos = close + 1;
      continue;
    }
    const bool is_fade = rest.starts_with("fade(");
    const bool is_fad = rest.starts_with("fad(");
    const bool is_move = rest.starts_with("move(");
    if (is_fade || is_fad || is_move) {
      const std::size_t open = text.find('(', name);
      const std::size_t close = text.find(')', open);
      if (close == std::string_view::npos || close >= end) return;
      bool found_tags = false;
      const std::vector<Arg> args = split_args(text, open + 1, close, false, found_tags);
      if (is_move) {
        shift_move(args, shift, edits);
      } else if (is_fade) {
        shift_fade(args, shift.ms, edits);
      } else {
        shift_fad(args, shift.ms, edits);
      }
      pos = close + 1;
      continue;
    }
    if (rest.starts_with("kt")) karaoke.known = false;
    if (karaoke.known && (rest.starts_with('k') || rest.starts_with('K'))) {
      const bool two_letters = rest.starts_with("kf") || rest.starts_with("ko");
      pos = shift_syllable(text, name + (two_letters ? 2 : 1), end, karaoke, edits);
      continue;
    }
    pos = name;
  }
}

}  // namespace

bool shift_effects(std::string_view text, const EffectShift& shift, std::string& out) {
  Edits edits;
  Karaoke karaoke;
  karaoke.cut = shift.cs;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find('{', pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('}', open + 1);
    if (close == std::string_view::npos) break;
    shift_block(text, open + 1, close, shift, karaoke, edits);
    pos = close + 1;
  }
  if (edits.empty()) return false;
  out.clear();
  std::size_t copied = 0;
  for (const Edit& edit : edits) {
    out.append(text.substr(copied, edit.pos - copied));
    out.append(edit.text);
    copied = edit.pos + edit.size;
  }
  out.append(text.substr(copied));
  return true;
}

}  // namespace mendra
