// The pieces of cue text, and the text of the HTML family (SRT, WebVTT)
// read into them and written from them.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "subtitle/cue_io.h"
#include "util/text_encoding.h"

namespace mendra {

void Cue::add_text(std::string_view text) {
  if (text.empty()) return;
  // Text that follows text joins it: writers see one piece per run.
  if (!pieces.empty() && pieces.back().kind == CuePiece::Kind::Text &&
      pieces.back().begin + pieces.back().size == chars.size()) {
    pieces.back().size += static_cast<std::uint32_t>(text.size());
  } else {
    pieces.push_back(CuePiece{CuePiece::Kind::Text, CueStyle::Italic,
                              static_cast<std::uint32_t>(chars.size()),
                              static_cast<std::uint32_t>(text.size())});
  }
  chars.append(text);
}

void Cue::add(CuePiece::Kind kind, CueStyle style) {
  pieces.push_back(CuePiece{kind, style, 0, 0});
}

void Cue::add_markup(std::string_view tag) {
  pieces.push_back(CuePiece{CuePiece::Kind::Markup, CueStyle::Italic,
                            static_cast<std::uint32_t>(chars.size()),
                            static_cast<std::uint32_t>(tag.size())});
  chars.append(tag);
}

std::string_view note_first_line(std::string_view line, CueFile& file) {
  if (line.starts_with(kUtf8ByteOrderMark)) {
    file.byte_order_mark = true;
    line.remove_prefix(kUtf8ByteOrderMark.size());
  }
  file.line_end = line.ends_with("\r\n") ? "\r\n" : "\n";
  return line;
}

void write_byte_order_mark(const CueFile& file, LineSink& out) {
  if (file.byte_order_mark) out.write(kUtf8ByteOrderMark);
}

namespace {

constexpr std::array<char, kCueStyles> kStyleLetters = {'i', 'b', 'u'};

bool is_tag_letter(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

// "00:06.500" or "1:00:06.500": the digits, colons and point of a WebVTT
// timestamp, which as a tag marks a time inside the cue.
bool is_timestamp_tag(std::string_view name) {
  return !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) != 0 &&
         std::ranges::all_of(name, [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
         });
}

// The style a tag name stands for: "i", "b", "u" in any case, with WebVTT
// classes after a point.
bool style_named(std::string_view name, CueStyle& style) {
  name = name.substr(0, name.find('.'));
  if (name.size() != 1) return false;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(name.front())));
  const auto* found = std::ranges::find(kStyleLetters, letter);
  if (found == kStyleLetters.end()) return false;
  style = static_cast<CueStyle>(found - kStyleLetters.begin());
  return true;
}

struct Entity {
  std::string_view name;
  std::string_view text;
};

constexpr Entity kEntities[] = {
    {"&amp;", "&"},
    {"&lt;", "<"},
    {"&gt;", ">"},
    {"&nbsp;", "\xC2\xA0"},
    {"&lrm;", "\xE2\x80\x8E"},
    {"&rlm;", "\xE2\x80\x8F"},
};

// Text between tags, with the WebVTT escapes turned into what they stand for.
void add_plain(std::string_view text, bool webvtt, Cue& cue) {
  if (!webvtt) {
    cue.add_text(text);
    return;
  }
  for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&')) {
    cue.add_text(text.substr(0, amp));
    text.remove_prefix(amp);
    const auto* entity = std::ranges::find_if(
        kEntities, [text](const Entity& e) { return text.starts_with(e.name); });
    if (entity == std::end(kEntities)) {
      cue.add_text("&");
      text.remove_prefix(1);
    } else {
      cue.add_text(entity->text);
      text.remove_prefix(entity->name.size());
    }
  }
  cue.add_text(text);
}

}  // namespace

void read_html_text(std::string_view line, bool webvtt, Cue& cue) {
  std::size_t copied = 0;
  for (std::size_t open = line.find('<'); open != std::string_view::npos;
       open = line.find('<', open + 1)) {
    const std::size_t close = line.find('>', open + 1);
    if (close == std::string_view::npos) break;
    std::string_view inside = line.substr(open + 1, close - open - 1);
    const bool ends = inside.starts_with('/');
    if (ends) inside.remove_prefix(1);
    const std::string_view name = inside.substr(0, inside.find_first_of(" \t"));
    const bool timestamp = webvtt && !ends && is_timestamp_tag(name);
    if (!timestamp && (name.empty() || !is_tag_letter(name.front()) ||
                       inside.find('<') != std::string_view::npos)) {
      continue;
    }
    add_plain(line.substr(copied, open - copied), webvtt, cue);
    copied = close + 1;
    CueStyle style = CueStyle::Italic;
    if (timestamp) {
      // A time inside the cue: the formats it converts to have none.
    } else if (style_named(name, style)) {
      cue.add(ends ? CuePiece::Kind::StyleOff : CuePiece::Kind::StyleOn, style);
    } else {
      cue.add_markup(line.substr(open, close + 1 - open));
    }
    open = close;
  }
  add_plain(line.substr(copied), webvtt, cue);
}

namespace {

// WebVTT's own tags, which its writer keeps as they stood.
bool is_webvtt_tag(std::string_view tag) {
  tag.remove_prefix(tag.starts_with("</") ? 2 : 1);
  const std::string_view name = tag.substr(0, tag.find_first_of(" \t.>"));
  return name == "c" || name == "v" || name == "lang" || name == "ruby" || name == "rt";
}

void write_escaped(std::string_view text, LineSink& out) {
  std::size_t copied = 0;
  for (std::size_t at = text.find_first_of("&<>"); at != std::string_view::npos;
       at = text.find_first_of("&<>", at + 1)) {
    out.write(text.substr(copied, at - copied));
    out.write(text[at] == '&' ? "&amp;" : text[at] == '<' ? "&lt;" : "&gt;");
    copied = at + 1;
  }
  out.write(text.substr(copied));
}

void write_style_tag(CueStyle style, bool ends, LineSink& out) {
  char tag[4];
  std::size_t size = 0;
  tag[size++] = '<';
  if (ends) tag[size++] = '/';
  tag[size++] = kStyleLetters[static_cast<std::size_t>(style)];
  tag[size++] = '>';
  out.write(std::string_view(tag, size));
}

}  // namespace

void write_html_text(const Cue& cue, bool webvtt, std::string_view line_end, LineSink& out,
                     CueLosses& dropped) {
  // The styles open, innermost last: an end tag closes the ones opened
  // after its own first and opens them again, so tags never cross.
  std::vector<CueStyle> open;
  // A line break is written only before what follows it on a line of its
  // own: an empty line would end the cue.
  bool line_started = false;
  bool break_due = false;
  const auto begin_piece = [&] {
    if (break_due) out.write(line_end);
    break_due = false;
    line_started = true;
  };
  for (const CuePiece& piece : cue.pieces) {
    switch (piece.kind) {
      case CuePiece::Kind::Text:
        begin_piece();
        if (webvtt) {
          write_escaped(cue.text_of(piece), out);
        } else {
          out.write(cue.text_of(piece));
        }
        break;
      case CuePiece::Kind::Break:
        break_due = line_started;
        line_started = false;
        break;
      case CuePiece::Kind::StyleOn:
        if (std::ranges::find(open, piece.style) != open.end()) break;
        begin_piece();
        open.push_back(piece.style);
        write_style_tag(piece.style, false, out);
        break;
      case CuePiece::Kind::StyleOff: {
        const auto at =
            static_cast<std::size_t>(std::ranges::find(open, piece.style) - open.begin());
        if (at == open.size()) break;
        begin_piece();
        for (std::size_t i = open.size(); i > at;) write_style_tag(open[--i], true, out);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(at));
        for (std::size_t i = at; i < open.size(); ++i) write_style_tag(open[i], false, out);
        break;
      }
      case CuePiece::Kind::Markup:
        // Each keeps the markup of its own: WebVTT's classes and voices mean
        // nothing to an SRT player, which shows them as text.
        if (is_webvtt_tag(cue.text_of(piece)) == webvtt) {
          begin_piece();
          out.write(cue.text_of(piece));
        } else if (!cue.text_of(piece).starts_with("</")) {
          ++dropped.tags;
        }
        break;
    }
  }
  for (auto it = open.rbegin(); it != open.rend(); ++it) write_style_tag(*it, true, out);
}

}  // namespace mendra
