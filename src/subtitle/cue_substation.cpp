// SubStation (ASS and SSA v4) events as cues, and cues written as either
// version. The lines outside [Events] travel with the cues: written in the
// other version, the script type, the styles section's name and its Format
// and Style lines are mapped field by field, as each version defines them;
// a file from another format gets a minimal header with one Default style.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "subtitle/cue_io.h"
#include "subtitle/retime.h"
#include "subtitle/time_text.h"
#include "util/format_int.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr std::string_view kDialogue = "Dialogue:";
constexpr std::string_view kComment = "Comment:";
constexpr std::string_view kMarked = "Marked=";
constexpr ScanPattern kTimesPattern = compile_scan_pattern("%d:%02d:%02d.%02d,%d:%02d:%02d.%02d,");
constexpr int kTimeFields = 8;
// Style, Name, MarginL, MarginR, MarginV, Effect: the commas after them
// lead to the text.
constexpr int kCommasBeforeText = 6;

bool same_letters(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool equals_any_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, same_letters);
}

bool starts_with_any_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equals_any_case(text.substr(0, prefix.size()), prefix);
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last + 1 - first);
}

std::string_view without_blanks_in_front(std::string_view text) {
  text.remove_prefix(std::min(text.size(), text.find_first_not_of(" \t")));
  return text;
}

// --- Event text -----------------------------------------------------------

// The end of the override tag that begins at `at` (just after its
// backslash): the next backslash outside parentheses, or the block's end.
std::size_t tag_end(std::string_view block, std::size_t at) {
  int depth = 0;
  for (; at < block.size(); ++at) {
    const char c = block[at];
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c == '\\' && depth == 0) break;
  }
  return at;
}

bool digit_follows(std::string_view tag, std::size_t size) {
  return tag.size() > size && is_digit(tag[size]);
}

// One override tag without its backslash ("i1", "pos(10,20)", "bord2"):
// the three styles turn on or off, a drawing mode begins or ends, anything
// else is counted as what the cue loses outside SubStation.
void read_override_tag(std::string_view tag, Cue& cue, bool& drawing) {
  const auto style_tag = [&](char letter, CueStyle style) {
    if (tag.empty() || tag.front() != letter) return false;
    const std::string_view value = trimmed(tag.substr(1));
    // "\i" alone goes back to the style's default: off for a Default style.
    if (!value.empty() && !std::ranges::all_of(value, is_digit)) return false;
    cue.add(value.empty() || value == "0" ? CuePiece::Kind::StyleOff : CuePiece::Kind::StyleOn,
            style);
    return true;
  };
  if (style_tag('i', CueStyle::Italic) || style_tag('b', CueStyle::Bold) ||
      style_tag('u', CueStyle::Underline)) {
    return;
  }
  if (tag.starts_with('p') && digit_follows(tag, 1)) {
    const bool on = parse_atoi(tag.substr(1)) > 0;
    if (on && !drawing) ++cue.losses.drawings;
    drawing = on;
    return;
  }
  for (const std::string_view placed : {"pos(", "move(", "org(", "clip(", "iclip("}) {
    if (tag.starts_with(placed)) {
      ++cue.losses.positions;
      return;
    }
  }
  if ((tag.starts_with("an") && digit_follows(tag, 2)) ||
      (tag.starts_with('a') && digit_follows(tag, 1))) {
    ++cue.losses.positions;
    return;
  }
  if (!trimmed(tag).empty()) ++cue.losses.tags;
}

// An event's text: override blocks {...} read for their styles, \N and \n
// as line breaks, \h as a no-break space; the text of a drawing is left
// out. Whatever a block holds that is not a tag (a comment) is dropped.
void read_event_text(std::string_view text, Cue& cue) {
  bool drawing = false;
  std::size_t run = 0;
  const auto flush = [&](std::size_t to) {
    if (!drawing) cue.add_text(text.substr(run, to - run));
  };
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (c == '{') {
      const std::size_t close = text.find('}', at + 1);
      if (close != std::string_view::npos) {
        flush(at);
        const std::string_view block = text.substr(at + 1, close - at - 1);
        for (std::size_t tag = block.find('\\'); tag != std::string_view::npos;) {
          const std::size_t end = tag_end(block, tag + 1);
          read_override_tag(block.substr(tag + 1, end - tag - 1), cue, drawing);
          tag = end < block.size() ? end : std::string_view::npos;
        }
        at = run = close + 1;
        continue;
      }
    }
    if (c == '\\' && at + 1 < text.size()) {
      const char next = text[at + 1];
      if (next == 'N' || next == 'n' || next == 'h') {
        flush(at);
        if (!drawing) {
          if (next == 'h') {
            cue.add_text("\xC2\xA0");
          } else {
            cue.add(CuePiece::Kind::Break);
          }
        }
        at = run = at + 2;
        continue;
      }
    }
    ++at;
  }
  flush(text.size());
}

// --- Reading ---------------------------------------------------------------

enum class Section { Head, Events, Tail };

// "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Text", or the SSA
// form with "Marked=0" first; the Comment: lines alike. False when its
// times cannot be read.
bool read_event(std::string_view line, std::string_view keyword, Cue& cue) {
  std::string_view rest = line.substr(keyword.size());
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t")));
  const std::size_t first_comma = rest.find(',');
  if (first_comma == std::string_view::npos) return false;
  const std::string_view first = trimmed(rest.substr(0, first_comma));
  if (!first.starts_with(kMarked)) {
    if (first.empty() ||
        !std::ranges::all_of(first.substr(first.front() == '-' ? 1 : 0), is_digit)) {
      return false;
    }
    cue.layer = parse_atoi(first);
  }
  rest.remove_prefix(first_comma + 1);
  int f[kTimeFields] = {};
  int* const fields[] = {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]};
  if (scan_ints(rest, kTimesPattern, fields, kTimeFields) != kTimeFields) return false;
  cue.start = ass_time_ms(f[0], f[1], f[2], f[3]);
  cue.end = ass_time_ms(f[4], f[5], f[6], f[7]);
  // The fields after the two times.
  for (int comma = 0; comma < 2; ++comma) {
    const std::size_t at = rest.find(',');
    if (at == std::string_view::npos) return false;
    rest.remove_prefix(at + 1);
  }
  cue.substation_fields.assign(rest);
  std::string_view text = rest;
  for (int comma = 0; comma < kCommasBeforeText; ++comma) {
    const std::size_t at = text.find(',');
    text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
  }
  read_event_text(text, cue);
  return true;
}

void read_event_line(std::string_view line, CueFile& file, LineSink& out) {
  const bool comment = starts_with_any_case(line, kComment);
  if (!comment && !starts_with_any_case(line, kDialogue)) return;
  Cue cue;
  cue.comment = comment;
  if (!read_event(line, comment ? kComment : kDialogue, cue)) {
    if (!comment) out.mark_unread(out.line_number);
    return;
  }
  file.cues.push_back(std::move(cue));
}

// The version the lines outside the events are written in.
void note_version(std::string_view line, SubstationSections& sections) {
  constexpr std::string_view kScriptType = "ScriptType:";
  if (equals_any_case(line, "[V4 Styles]")) sections.version4 = true;
  if (equals_any_case(line, "[V4+ Styles]")) sections.version4 = false;
  if (starts_with_any_case(line, kScriptType)) {
    const std::string_view version = trimmed(line.substr(kScriptType.size()));
    sections.version4 =
        starts_with_any_case(version, "v4.00") && version.find('+') == std::string_view::npos;
  }
}

}  // namespace

void read_substation_cues(TextReader& in, CueFile& file, LineSink& out) {
  SubstationSections& sections = file.substation;
  sections.present = true;
  Section section = Section::Head;
  std::string_view line;
  while (in.next_line(line)) {
    if (++out.line_number == 1) line = note_first_line(line, file);
    const std::string_view bare = trimmed(without_line_end(line));
    if (bare.starts_with('[')) {
      if (equals_any_case(bare, "[Events]")) {
        section = Section::Events;
        continue;
      }
      if (section == Section::Events) section = Section::Tail;
    }
    switch (section) {
      case Section::Head:
        note_version(bare, sections);
        sections.head.emplace_back(line);
        break;
      case Section::Tail:
        sections.tail.emplace_back(line);
        break;
      case Section::Events:
        // The Format line is written anew for the output's version; blank
        // lines and other events (Picture:, Sound:) are not subtitles.
        read_event_line(without_blanks_in_front(without_line_end(line)), file, out);
        break;
    }
  }
}

namespace {

// --- Writing ---------------------------------------------------------------

constexpr std::string_view kAssStyleFields =
    "Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, "
    "Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, "
    "Alignment, MarginL, MarginR, MarginV, Encoding";
constexpr std::string_view kSsaStyleFields =
    "Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, TertiaryColour, BackColour, Bold, "
    "Italic, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, AlphaLevel, "
    "Encoding";
constexpr std::string_view kAssEventFields =
    "Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";
constexpr std::string_view kSsaEventFields =
    "Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";
// The one style of a file converted from a format without styles, in the
// fields of each version.
constexpr std::string_view kAssDefaultStyle =
    "Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,10,"
    "10,10,1";
constexpr std::string_view kSsaDefaultStyle =
    "Default,Arial,20,16777215,255,0,0,0,0,1,2,2,2,10,10,10,0,1";
// What an event from another format has before its text: the Default
// style, no name, no margins of its own, no effect.
constexpr std::string_view kPlainEventFields = "Default,,0,0,0,,";

struct Version {
  bool ssa = false;
  std::string_view script_type;
  std::string_view styles_section;
  std::string_view style_fields;
  std::string_view default_style;
  std::string_view event_fields;
};

constexpr Version kAss{false,           "v4.00+",         "[V4+ Styles]",
                       kAssStyleFields, kAssDefaultStyle, kAssEventFields};
constexpr Version kSsa{true,           "v4.00", "[V4 Styles]", kSsaStyleFields, kSsaDefaultStyle,
                       kSsaEventFields};

std::vector<std::string_view> split_fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = text.find(',');
    fields.push_back(trimmed(text.substr(0, comma)));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

// Alignment as ASS numbers it (the numeric keypad: 1-3 bottom, 4-6 middle,
// 7-9 top) and as SSA does (1-3 bottom, +4 top, +8 middle).
std::string map_alignment(std::string_view value, bool to_ssa) {
  const int a = parse_atoi(value);
  int mapped = a;
  if (to_ssa) {
    if (a >= 4 && a <= 6) mapped = a + 5;
    if (a >= 7 && a <= 9) mapped = a - 2;
  } else {
    if (a >= 5 && a <= 7) mapped = a + 2;
    if (a >= 9 && a <= 11) mapped = a - 5;
  }
  return mapped == a ? std::string(value) : std::to_string(mapped);
}

// A Style line's value in the other version's fields: a field both have is
// carried (Alignment renumbered), OutlineColour and TertiaryColour stand
// for each other, and a field the source has not gets the value a renderer
// assumes without it.
std::string map_style(std::string_view value, const std::vector<std::string_view>& names,
                      const Version& to) {
  const std::vector<std::string_view> values = split_fields(value);
  const auto find = [&](std::string_view name) -> std::string_view {
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
      if (equals_any_case(names[i], name)) return values[i];
    }
    return {};
  };
  struct Default {
    std::string_view name;
    std::string_view value;
  };
  constexpr Default kDefaults[] = {
      {"ScaleX", "100"}, {"ScaleY", "100"}, {"Encoding", "1"}, {"BorderStyle", "1"}};
  std::string text;
  for (const std::string_view name : split_fields(to.style_fields)) {
    std::string_view field = find(name);
    if (field.empty() && name == "OutlineColour") field = find("TertiaryColour");
    if (field.empty() && name == "TertiaryColour") field = find("OutlineColour");
    if (field.empty()) {
      field = "0";
      for (const Default& d : kDefaults) {
        if (d.name == name) field = d.value;
      }
    }
    if (!text.empty()) text += ',';
    text += name == "Alignment" ? map_alignment(field, to.ssa) : std::string(field);
  }
  return text;
}

// The lines before [Events] written in the output's version: its script
// type, its styles section, its Format and its Style lines.
void write_head(const SubstationSections& sections, const Version& to, LineSink& out) {
  const bool same = sections.version4 == to.ssa;
  std::vector<std::string_view> style_names;
  bool in_styles = false;
  for (const std::string& stored : sections.head) {
    const std::string_view line = stored;
    if (same) {
      out.write(line);
      continue;
    }
    const std::string_view bare = trimmed(without_line_end(line));
    const std::string_view line_end = line.substr(without_line_end(line).size());
    if (bare.starts_with('[')) {
      in_styles = equals_any_case(bare, "[V4 Styles]") || equals_any_case(bare, "[V4+ Styles]");
      if (in_styles) {
        out.write(to.styles_section);
        out.write(line_end);
        continue;
      }
    } else if (starts_with_any_case(bare, "ScriptType:")) {
      out.write("ScriptType: ");
      out.write(to.script_type);
      out.write(line_end);
      continue;
    } else if (in_styles && starts_with_any_case(bare, "Format:")) {
      style_names = split_fields(bare.substr(7));
      out.write("Format: ");
      out.write(to.style_fields);
      out.write(line_end);
      continue;
    } else if (in_styles && starts_with_any_case(bare, "Style:")) {
      out.write("Style: ");
      out.write(map_style(bare.substr(6), style_names, to));
      out.write(line_end);
      continue;
    }
    out.write(line);
  }
}

void write_minimal_head(const Version& to, std::string_view line_end, LineSink& out) {
  const auto line = [&](std::string_view a, std::string_view b = {}) {
    out.write(a);
    out.write(b);
    out.write(line_end);
  };
  line("[Script Info]");
  line("ScriptType: ", to.script_type);
  line("PlayResX: 384");
  line("PlayResY: 288");
  line("");
  line(to.styles_section);
  line("Format: ", to.style_fields);
  line("Style: ", to.default_style);
  line("");
}

// A cue's pieces as event text: styles as override tags, breaks as \N.
// Markup of the HTML family has no place in it.
void write_event_text(const Cue& cue, LineSink& out, CueLosses& dropped) {
  constexpr std::array<char, kCueStyles> kLetters = {'i', 'b', 'u'};
  for (const CuePiece& piece : cue.pieces) {
    switch (piece.kind) {
      case CuePiece::Kind::Text:
        out.write(cue.text_of(piece));
        break;
      case CuePiece::Kind::Break:
        out.write("\\N");
        break;
      case CuePiece::Kind::StyleOn:
      case CuePiece::Kind::StyleOff: {
        const char tag[] = {'{', '\\', kLetters[static_cast<std::size_t>(piece.style)],
                            piece.kind == CuePiece::Kind::StyleOn ? '1' : '0', '}'};
        out.write(std::string_view(tag, sizeof tag));
        break;
      }
      case CuePiece::Kind::Markup:
        if (!cue.text_of(piece).starts_with("</")) ++dropped.tags;
        break;
    }
  }
}

void write_events(const CueWriting& writing, const Version& to, LineSink& out) {
  const std::string_view line_end = writing.file.line_end;
  const bool from_substation = writing.file.substation.present;
  constexpr int kHoursWidth = 1;
  constexpr int kCentisecondsWidth = 2;
  for (const WrittenCue& written : writing.cues) {
    const Cue& cue = *written.cue;
    char header[96];
    char* end = header;
    const std::string_view keyword = cue.comment ? "Comment: " : "Dialogue: ";
    for (const char c : keyword) *end++ = c;
    if (to.ssa) {
      for (const char c : std::string_view("Marked=0")) *end++ = c;
      if (cue.layer != 0) ++writing.dropped.layers;
    } else {
      end = append_int(end, cue.layer, 0);
    }
    *end++ = ',';
    end = append_time(end, centisecond_fields(static_cast<int>(written.start)), kHoursWidth, '.',
                      kCentisecondsWidth);
    *end++ = ',';
    end = append_time(end, centisecond_fields(static_cast<int>(written.end)), kHoursWidth, '.',
                      kCentisecondsWidth);
    *end++ = ',';
    out.write(std::string_view(header, static_cast<std::size_t>(end - header)));
    if (from_substation) {
      out.write(without_line_end(cue.substation_fields));
    } else {
      out.write(kPlainEventFields);
      write_event_text(cue, out, writing.dropped);
    }
    out.write(line_end);
  }
}

void write_substation(const CueWriting& writing, const Version& to, LineSink& out) {
  const CueFile& file = writing.file;
  write_byte_order_mark(file, out);
  if (file.substation.present) {
    write_head(file.substation, to, out);
  } else {
    write_minimal_head(to, file.line_end, out);
  }
  out.write("[Events]");
  out.write(file.line_end);
  out.write("Format: ");
  out.write(to.event_fields);
  out.write(file.line_end);
  write_events(writing, to, out);
  // The sections after the events, a blank line before them as before
  // every section.
  if (!file.substation.tail.empty()) out.write(file.line_end);
  for (const std::string& line : file.substation.tail) out.write(line);
}

}  // namespace

void write_ass_cues(const CueWriting& writing, LineSink& out) {
  write_substation(writing, kAss, out);
}

void write_ssa_cues(const CueWriting& writing, LineSink& out) {
  write_substation(writing, kSsa, out);
}

}  // namespace mendra
