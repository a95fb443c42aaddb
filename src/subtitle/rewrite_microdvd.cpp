// MicroDVD: one subtitle a line, "{start}{end}text", its times counted in
// frames of the video, '|' between the lines of its text, and perhaps a
// first line "{1}{1}23.976" naming the frame rate those frames run at.
// Re-timed as MicroDVD, the frames go through the cut as frames: a kept
// frame lands on its own frame of the cut video, with no rounding, and
// every byte that is not a frame number stays as it was. The same file
// holds the format's reader and writer of cues, through which it converts
// to and from the formats timed in clock time, on the input's clock.
#include <array>
#include <charconv>
#include <string>
#include <string_view>

#include "subtitle/cue_io.h"
#include "subtitle/line_rewriter.h"
#include "time/rate_parse.h"
#include "util/text_encoding.h"

namespace mendra {
namespace {

constexpr std::size_t kNoField = std::string_view::npos;
// More digits than any video has frames at any rate; keeps a frame number
// far inside 64 bits.
constexpr std::size_t kMaxFrameDigits = 15;

// "{N}" at `pos`: the frame number N, digits only. Returns where the field
// ends, or kNoField.
std::size_t read_frame_field(std::string_view line, std::size_t pos, std::int64_t& frame) {
  if (pos >= line.size() || line[pos] != '{') return kNoField;
  const std::size_t first = ++pos;
  std::int64_t value = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    if (pos - first == kMaxFrameDigits) return kNoField;
    value = value * 10 + (line[pos] - '0');
    ++pos;
  }
  if (pos == first || pos >= line.size() || line[pos] != '}') return kNoField;
  frame = value;
  return pos + 1;
}

struct FrameFields {
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::size_t text = 0;  // where the text after the two fields begins
};

bool read_frame_fields(std::string_view line, FrameFields& fields) {
  const std::size_t after_start = read_frame_field(line, 0, fields.start);
  if (after_start == kNoField) return false;
  fields.text = read_frame_field(line, after_start, fields.end);
  return fields.text != kNoField;
}

bool is_blank_text(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The rate line's fields and its rate: "{1}{1}23.976", or "{0}{0}25" as some
// tools write it.
bool read_rate_fields(std::string_view line, FrameFields& fields, FrameRate& rate) {
  return read_frame_fields(line, fields) && fields.start == fields.end && fields.start <= 1 &&
         parse_frame_rate(trimmed(without_line_end(line.substr(fields.text))), rate);
}

// A first line shaped as the rate line whose text names no rate read here
// ("{1}{1}23,976", "{1}{1}0"): its frames would run on another clock than
// the file meant, so the line is counted as one not read rather than
// dropped as a subtitle of no length.
bool names_unread_rate(std::string_view line, const FrameFields& fields) {
  return fields.start == fields.end && fields.start <= 1 &&
         !is_blank_text(without_line_end(line.substr(fields.text)));
}

// A rate as a rate line names it, to the thousandth without trailing zeros
// ("23.976", "29.97", "25"): read back, a rate within 0.1 % of an NTSC
// rate is that rate again.
std::string rate_text(FrameRate rate) {
  __extension__ using Wide = __int128;
  const Wide thousandths = (Wide{rate.num} * 1000 + rate.den / 2) / rate.den;
  std::string text = std::to_string(static_cast<long long>(thousandths / 1000));
  int fraction = static_cast<int>(thousandths % 1000);
  if (fraction == 0) return text;
  int digits = 3;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  const std::string decimals = std::to_string(fraction);
  text += '.';
  text.append(static_cast<std::size_t>(digits) - decimals.size(), '0');
  text += decimals;
  return text;
}

// "{frame}"
void write_frame_field(std::int64_t frame, LineSink& out) {
  std::array<char, 24> digits{};  // any int64 and its sign
  const std::to_chars_result written =
      std::to_chars(digits.data(), digits.data() + digits.size(), frame);
  out.write("{");
  out.write(std::string_view(digits.data(), static_cast<std::size_t>(written.ptr - digits.data())));
  out.write("}");
}

// "{start}{end}"
void write_frame_fields(std::int64_t start, std::int64_t end, LineSink& out) {
  write_frame_field(start, out);
  write_frame_field(end, out);
}

// The rewriter's state: only the first line may be the rate line.
struct MicroDvdWalk {
  bool past_first = false;
};

// The rate line is copied; under a change of speed the file's frames run
// at another rate, which it then names, whatever the clock.
void write_rate_line(std::string_view line, const FrameFields& fields, FrameRate rate,
                     const LineContext& context, LineSink& out) {
  FrameRate output{};
  if (!changes_speed(context.pipeline.speed) ||
      !changed_frame_rate(rate, context.pipeline.speed, output)) {
    out.write(line);
    return;
  }
  out.write(line.substr(0, fields.text));
  out.write(rate_text(output));
  out.write(line_end_of(line));
}

void walk_line(std::string_view line, const LineContext& context, MicroDvdWalk& walk,
               LineSink& out) {
  const TimePipeline& pipeline = context.pipeline;
  FrameFields fields;
  if (!walk.past_first) {
    walk.past_first = true;
    if (line.starts_with(kUtf8ByteOrderMark)) {
      out.write(kUtf8ByteOrderMark);
      line.remove_prefix(kUtf8ByteOrderMark.size());
    }
    FrameRate rate{};
    if (read_rate_fields(line, fields, rate)) {
      write_rate_line(line, fields, rate, context, out);
      return;
    }
    if (read_frame_fields(line, fields) && names_unread_rate(line, fields)) {
      out.mark_unread(out.line_number);
      out.write(line);
      return;
    }
  }
  if (!read_frame_fields(line, fields)) {
    if (!is_blank_text(without_line_end(line))) out.mark_unread(out.line_number);
    out.write(line);
    return;
  }
  const CutTime start = map_frame(pipeline, fields.start, true);
  if (!start.placed) {
    ++out.counts.dropped;
    return;
  }
  const std::int64_t first = written_frame(pipeline, start);
  const std::int64_t last = written_frame(pipeline, map_frame(pipeline, fields.end, false));
  if (first >= last) {
    ++out.counts.dropped;
    return;
  }
  ++out.counts.retimed;
  write_frame_fields(first, last, out);
  out.write(line.substr(fields.text));
}

void finish_walk(MicroDvdWalk& /*walk*/, LineSink& /*out*/) {}

// The control codes of a subtitle's text: "{y:i}" styles the line it stands
// in, "{Y:i}" the whole subtitle (several letters: "{y:i,b}"); colours,
// fonts, sizes, character sets ({c:$0000FF}, {f:Arial}, {s:20}, {H:...})
// and positions ({P:10,20}) have no place in a cue.
struct ControlCode {
  char letter = 0;
  std::string_view value;
  std::size_t size = 0;
};

bool read_control_code(std::string_view text, std::size_t pos, ControlCode& code) {
  if (pos + 3 >= text.size() || text[pos] != '{' || text[pos + 2] != ':') return false;
  const char letter = text[pos + 1];
  if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'))) return false;
  const std::size_t close = text.find('}', pos + 3);
  if (close == std::string_view::npos) return false;
  code.letter = letter;
  code.value = text.substr(pos + 3, close - pos - 3);
  code.size = close + 1 - pos;
  return true;
}

constexpr std::array<char, kCueStyles> kStyleLetters = {'i', 'b', 'u'};

// The styles a {y:...} value names; a letter of no style (s: struck out) is
// a tag the cue cannot hold.
void read_style_letters(std::string_view value, std::array<bool, kCueStyles>& styles, Cue& cue) {
  for (const char c : value) {
    bool known = false;
    for (int style = 0; style < kCueStyles; ++style) {
      if (c == kStyleLetters[static_cast<std::size_t>(style)] ||
          c == kStyleLetters[static_cast<std::size_t>(style)] - 'a' + 'A') {
        styles[static_cast<std::size_t>(style)] = true;
        known = true;
      }
    }
    if (!known && c != ',' && c != ' ') ++cue.losses.tags;
  }
}

// The cue's style pieces brought in line with the styles that should be on:
// those that end first, the last begun first, so that markup that nests
// closes them in order.
void set_styles(const std::array<bool, kCueStyles>& wanted, std::array<bool, kCueStyles>& on,
                Cue& cue) {
  for (std::size_t style = on.size(); style-- > 0;) {
    if (on[style] && !wanted[style]) {
      on[style] = false;
      cue.add(CuePiece::Kind::StyleOff, static_cast<CueStyle>(style));
    }
  }
  for (std::size_t style = 0; style < on.size(); ++style) {
    if (!on[style] && wanted[style]) {
      on[style] = true;
      cue.add(CuePiece::Kind::StyleOn, static_cast<CueStyle>(style));
    }
  }
}

void read_microdvd_text(std::string_view text, Cue& cue) {
  std::array<bool, kCueStyles> whole{};
  std::array<bool, kCueStyles> line{};
  std::array<bool, kCueStyles> on{};
  const auto wanted = [&] {
    std::array<bool, kCueStyles> styles{};
    for (std::size_t style = 0; style < styles.size(); ++style) {
      styles[style] = whole[style] || line[style];
    }
    return styles;
  };
  std::size_t run = 0;  // where the text not yet added begins
  std::size_t pos = 0;
  // Past the last '}' no code can close: a line of a megabyte of "{y:"
  // is not searched to its end from each of them.
  const std::size_t last_close = text.rfind('}');
  while (pos < text.size()) {
    ControlCode code;
    if (text[pos] == '|') {
      cue.add_text(text.substr(run, pos - run));
      line = {};
      set_styles(wanted(), on, cue);
      cue.add(CuePiece::Kind::Break);
      run = ++pos;
    } else if (last_close != std::string_view::npos && pos + 3 <= last_close &&
               read_control_code(text, pos, code)) {
      cue.add_text(text.substr(run, pos - run));
      if (code.letter == 'y' || code.letter == 'Y') {
        read_style_letters(code.value, code.letter == 'y' ? line : whole, cue);
        set_styles(wanted(), on, cue);
      } else if (code.letter == 'P') {
        ++cue.losses.positions;
      } else {
        ++cue.losses.tags;
      }
      pos += code.size;
      run = pos;
    } else {
      ++pos;
    }
  }
  cue.add_text(text.substr(run));
  // The line's styles end before the subtitle's, which began first.
  line = {};
  set_styles(wanted(), on, cue);
  set_styles({}, on, cue);
}

// One line of a cue as MicroDVD writes it: a style that covers all its text
// is written in front ({y:i}); one that covers only some of it cannot be
// said, and is counted.
struct WrittenLine {
  std::string text;
  std::array<bool, kCueStyles> everywhere{true, true, true};
  std::array<bool, kCueStyles> somewhere{};
  bool has_text = false;
};

void flush_line(WrittenLine& line, bool last, LineSink& out, CueLosses& dropped) {
  std::string letters;
  for (std::size_t style = 0; style < kStyleLetters.size(); ++style) {
    if (!line.somewhere[style]) continue;
    if (line.everywhere[style]) {
      if (!letters.empty()) letters += ',';
      letters += kStyleLetters[style];
    } else {
      ++dropped.tags;
    }
  }
  if (!letters.empty()) {
    out.write("{y:");
    out.write(letters);
    out.write("}");
  }
  out.write(line.text);
  if (!last) out.write("|");
  line = WrittenLine{};
}

// Text as MicroDVD holds it: a '|' would break the line, and the format has
// no escape for it, so it becomes a blank and is counted.
void append_text(std::string_view text, std::string& to, CueLosses& dropped) {
  for (const char c : text) {
    if (c == '|') {
      to += ' ';
      ++dropped.characters;
    } else {
      to += c;
    }
  }
}

void write_microdvd_text(const Cue& cue, LineSink& out, CueLosses& dropped) {
  std::array<bool, kCueStyles> on{};
  WrittenLine line;
  for (const CuePiece& piece : cue.pieces) {
    const auto style = static_cast<std::size_t>(piece.style);
    switch (piece.kind) {
      case CuePiece::Kind::Text:
        append_text(cue.text_of(piece), line.text, dropped);
        line.has_text = true;
        for (std::size_t s = 0; s < on.size(); ++s) {
          line.somewhere[s] = line.somewhere[s] || on[s];
          line.everywhere[s] = line.everywhere[s] && on[s];
        }
        break;
      case CuePiece::Kind::Break:
        flush_line(line, false, out, dropped);
        break;
      case CuePiece::Kind::StyleOn:
        on[style] = true;
        break;
      case CuePiece::Kind::StyleOff:
        on[style] = false;
        break;
      case CuePiece::Kind::Markup:
        ++dropped.tags;
        break;
    }
  }
  flush_line(line, true, out, dropped);
}

}  // namespace

bool sniffs_microdvd(std::string_view first_bytes) {
  FrameFields fields;
  return read_frame_fields(first_bytes, fields);
}

bool read_microdvd_rate(std::string_view first_line, FrameRate& rate) {
  if (first_line.starts_with(kUtf8ByteOrderMark))
    first_line.remove_prefix(kUtf8ByteOrderMark.size());
  FrameFields fields;
  return read_rate_fields(first_line, fields, rate);
}

void rewrite_microdvd_lines(TextReader& in, const LineContext& context, LineSink& out) {
  stream_lines<MicroDvdWalk, walk_line, finish_walk>(in, context, out);
}

void read_microdvd_cues(TextReader& in, CueFile& file, LineSink& out) {
  file.in_frames = true;
  std::string_view line;
  while (in.next_line(line)) {
    if (++out.line_number == 1) {
      line = note_first_line(line, file);
      FrameFields fields;
      FrameRate rate{};
      if (read_rate_fields(line, fields, rate)) continue;
      if (read_frame_fields(line, fields) && names_unread_rate(line, fields)) {
        out.mark_unread(out.line_number);
        continue;
      }
    }
    const std::string_view content = without_line_end(line);
    if (is_blank_text(content)) continue;
    FrameFields fields;
    if (!read_frame_fields(content, fields)) {
      out.mark_unread(out.line_number);
      continue;
    }
    Cue& cue = file.cues.emplace_back();
    cue.start = fields.start;
    cue.end = fields.end;
    read_microdvd_text(content.substr(fields.text), cue);
  }
}

void write_microdvd_cues(const CueWriting& writing, LineSink& out) {
  const std::string_view line_end = writing.file.line_end;
  write_byte_order_mark(writing.file, out);
  // Players take the frames' rate from this line when it is there; a video
  // timed by a timecode file has no one rate to name.
  if (writing.frame_rate != nullptr) {
    out.write("{1}{1}");
    out.write(rate_text(*writing.frame_rate));
    out.write(line_end);
  }
  for (const WrittenCue& written : writing.cues) {
    write_frame_fields(written.start, written.end, out);
    write_microdvd_text(*written.cue, out, writing.dropped);
    out.write(line_end);
  }
}

}  // namespace mendra
