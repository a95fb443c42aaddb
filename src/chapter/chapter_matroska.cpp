// Matroska chapter XML, as Matroska muxers read and write it: <Chapters>
// holds one or more <EditionEntry>, each <ChapterAtom> (nested ones too) a
// <ChapterTimeStart> and an optional <ChapterTimeEnd> in
// "hh:mm:ss.nnnnnnnnn". The document is read by an XML parser (pugixml: it
// gives each node's byte offset in the text it parsed, so the bytes around
// the times are copied as they stand; it expands no entities and loads no
// DTD, so a hostile file costs no more than its own size), and only the
// text of the time elements is replaced.
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "chapter/chapter_format.h"
#include "util/scan.h"

namespace mendra {
namespace {

constexpr int kNsDigits = 9;
constexpr TimeUnit kNanosecond{1, 1000000};

bool starts_at(std::string_view text, std::size_t at, std::string_view prefix) {
  return at <= text.size() && text.substr(at).starts_with(prefix);
}

// Where every element of the text ends: after the '>' of its end tag, or
// of its own tag when it is empty, by where its tag opens, in the order of
// the text. Found in one pass, so that nested chapters as deep as the file
// goes cost no more than the file's size. The parser has already found the
// document well formed, so the tags only need counting: comments, CDATA
// sections, processing instructions and quoted attribute values are passed
// over.
struct ElementEnds {
  struct Element {
    std::size_t open = 0;
    std::size_t end = std::string_view::npos;
  };
  std::vector<Element> elements;

  explicit ElementEnds(std::string_view text);
  // npos when no element opens at `open` or the text ends first.
  std::size_t end_of(std::size_t open) const;
};

ElementEnds::ElementEnds(std::string_view text) {
  std::vector<std::size_t> open_elements;  // indices into `elements`
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t lt = text.find('<', at);
    if (lt == std::string_view::npos) return;
    std::string_view closer;
    if (starts_at(text, lt, "<!--")) {
      closer = "-->";
    } else if (starts_at(text, lt, "<![CDATA[")) {
      closer = "]]>";
    } else if (starts_at(text, lt, "<?")) {
      closer = "?>";
    } else if (starts_at(text, lt, "<!")) {
      closer = ">";
    }
    if (!closer.empty()) {
      const std::size_t close = text.find(closer, lt + 2);
      if (close == std::string_view::npos) return;
      at = close + closer.size();
      continue;
    }
    std::size_t gt = lt + 1;
    char quote = 0;
    for (; gt < text.size(); ++gt) {
      const char c = text[gt];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (gt >= text.size()) return;
    at = gt + 1;
    if (lt + 1 < text.size() && text[lt + 1] == '/') {
      if (open_elements.empty()) continue;
      elements[open_elements.back()].end = at;
      open_elements.pop_back();
      continue;
    }
    elements.push_back(Element{lt, std::string_view::npos});
    if (text[gt - 1] == '/') {
      elements.back().end = at;
    } else {
      open_elements.push_back(elements.size() - 1);
    }
  }
}

std::size_t ElementEnds::end_of(std::size_t open) const {
  const auto found = std::ranges::lower_bound(elements, open, {}, &Element::open);
  if (found == elements.end() || found->open != open) return std::string_view::npos;
  return found->end;
}

// The element's bytes, with its indentation and line end when it stands on
// lines of its own, so that leaving it out leaves no blank line.
bool element_span(std::string_view text, const ElementEnds& ends, const pugi::xml_node& element,
                  TextSpan& span) {
  const std::ptrdiff_t offset = element.offset_debug();
  if (offset < 0 || static_cast<std::size_t>(offset) >= text.size()) return false;
  const std::size_t open = text.rfind('<', static_cast<std::size_t>(offset));
  if (open == std::string_view::npos) return false;
  const std::size_t end = ends.end_of(open);
  if (end == std::string_view::npos) return false;
  std::size_t begin = open;
  while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
  std::size_t after = end;
  while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
  if (after < text.size() && text[after] == '\r') ++after;
  const bool line_before = begin == 0 || text[begin - 1] == '\n';
  const bool line_after = after == text.size() || text[after] == '\n';
  if (line_before && line_after) {
    span = TextSpan{begin, after < text.size() ? after + 1 : after};
  } else {
    span = TextSpan{open, end};
  }
  return true;
}

// The text of an element that holds nothing but text, trimmed of blanks.
bool element_text(std::string_view text, const pugi::xml_node& element, TextSpan& span) {
  const pugi::xml_node child = element.first_child();
  if (child.empty() || child.type() != pugi::node_pcdata || !child.next_sibling().empty()) {
    return false;
  }
  const std::ptrdiff_t offset = child.offset_debug();
  if (offset < 0 || static_cast<std::size_t>(offset) >= text.size()) return false;
  std::size_t begin = static_cast<std::size_t>(offset);
  std::size_t end = text.find('<', begin);
  if (end == std::string_view::npos) return false;
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  span = TextSpan{begin, end};
  return true;
}

bool read_time(std::string_view text, const pugi::xml_node& element, ChapterTime& time) {
  TextSpan span;
  if (!element_text(text, element, span)) return false;
  if (!parse_clock_time(text.substr(span.begin, span.end - span.begin), kNsDigits, time.count)) {
    return false;
  }
  time.text = span;
  return true;
}

int line_of(const LineStarts& lines, const pugi::xml_node& node) {
  const std::ptrdiff_t offset = node.offset_debug();
  return lines.line_of(offset < 0 ? 0 : static_cast<std::size_t>(offset));
}

bool named(const pugi::xml_node& node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

// The first ChapterString of the atom's ChapterDisplay, as written.
std::string_view chapter_name(std::string_view text, const pugi::xml_node& atom) {
  const pugi::xml_node display = atom.child("ChapterDisplay");
  TextSpan span;
  if (!display || !element_text(text, display.child("ChapterString"), span)) return {};
  return text.substr(span.begin, span.end - span.begin);
}

// One ChapterAtom: its times, its bytes and its name. A start that cannot
// be read leaves the chapter as it is; an end that cannot be read leaves
// that end as it is.
void read_atom(std::string_view text, const LineStarts& lines, const ElementEnds& ends,
               const pugi::xml_node& atom, std::size_t group, ChapterRead& read) {
  Chapter chapter;
  chapter.unit = kNanosecond;
  chapter.group = group;
  chapter.line = line_of(lines, atom);
  const pugi::xml_node start = atom.child("ChapterTimeStart");
  if (!start || !read_time(text, start, chapter.start)) {
    read.unread.add(start.empty() ? chapter.line : line_of(lines, start));
    return;
  }
  if (const pugi::xml_node end = atom.child("ChapterTimeEnd")) {
    chapter.has_end = read_time(text, end, chapter.end);
    if (!chapter.has_end) read.unread.add(line_of(lines, end));
  }
  if (!element_span(text, ends, atom, chapter.parts[0])) {
    read.unread.add(chapter.line);
    return;
  }
  chapter.part_count = 1;
  chapter.name = chapter_name(text, atom);
  read.chapters.push_back(chapter);
}

void append_line(std::string& out, int indent, std::string_view line) {
  out.append(static_cast<std::size_t>(indent) * 2, ' ');
  out += line;
  out += '\n';
}

}  // namespace

bool is_matroska_chapters(std::string_view first_bytes) {
  std::size_t at = 0;
  while (at < first_bytes.size() && is_blank(first_bytes[at])) ++at;
  return at < first_bytes.size() && first_bytes[at] == '<' &&
         first_bytes.find("<Chapters") != std::string_view::npos;
}

bool read_matroska_chapters(std::string_view text, ChapterRead& read) {
  pugi::xml_document document;
  // No conversions: the text of every node stays at its offset in `text`.
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_minimal, pugi::encoding_utf8);
  const LineStarts lines(text);
  if (!parsed) {
    read.error = std::string("not well-formed XML (") + parsed.description() + ")";
    read.error_line =
        lines.line_of(parsed.offset < 0 ? 0 : static_cast<std::size_t>(parsed.offset));
    return false;
  }
  const ElementEnds ends(text);
  const pugi::xml_node root = document.document_element();
  if (!named(root, "Chapters")) {
    read.error = "no <Chapters> element";
    read.error_line = line_of(lines, root);
    return false;
  }
  // Depth first in the order of the file, without recursion: nested atoms
  // may go as deep as the file does. Each atom's group is its parent.
  struct Pending {
    pugi::xml_node node;
    std::size_t group;
  };
  std::vector<Pending> pending;
  const auto push_children = [&](const pugi::xml_node& parent) {
    const auto group = static_cast<std::size_t>(parent.offset_debug());
    const std::size_t first = pending.size();
    for (const pugi::xml_node child : parent.children()) {
      if (named(child, "EditionEntry") || named(child, "ChapterAtom")) {
        pending.push_back(Pending{child, group});
      }
    }
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  };
  push_children(root);
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    if (named(next.node, "ChapterAtom")) read_atom(text, lines, ends, next.node, next.group, read);
    push_children(next.node);
  }
  return true;
}

std::string matroska_time_text(std::int64_t ns) {
  return clock_time_text(ns, kNsDigits);
}

void write_matroska_marks(std::span<const ChapterMark> marks, std::string& out) {
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n";
  out += "<Chapters>\n";
  append_line(out, 1, "<EditionEntry>");
  int number = 0;
  for (const ChapterMark& mark : marks) {
    ++number;
    append_line(out, 2, "<ChapterAtom>");
    append_line(out, 3,
                "<ChapterTimeStart>" + matroska_time_text(mark.start) + "</ChapterTimeStart>");
    if (mark.has_end) {
      append_line(out, 3, "<ChapterTimeEnd>" + matroska_time_text(mark.end) + "</ChapterTimeEnd>");
    }
    append_line(out, 3, "<ChapterDisplay>");
    append_line(out, 4, "<ChapterString>Chapter " + std::to_string(number) + "</ChapterString>");
    append_line(out, 4, "<ChapterLanguage>und</ChapterLanguage>");
    append_line(out, 3, "</ChapterDisplay>");
    append_line(out, 2, "</ChapterAtom>");
  }
  append_line(out, 1, "</EditionEntry>");
  out += "</Chapters>\n";
}

}  // namespace mendra
