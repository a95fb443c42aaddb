// What a conversion carries from one subtitle format to another: the input
// format's reader turns the file into cues, the time pipeline maps their
// times, and the output format's writer writes them. No pair of formats has
// a translator of its own: a new format is one reader and one writer of
// this form, and converts to and from every other.
//
// A cue's text is a list of pieces over one string of characters: text as
// it shows (no markup, no escapes), line breaks, italic, bold and underline
// turned on and off, and markup of the HTML family that only some formats
// carry (<font ...>, <v Anna>, <c.x>), kept as it stood.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mendra {

enum class CueStyle : std::uint8_t { Italic, Bold, Underline };

inline constexpr int kCueStyles = 3;

struct CuePiece {
  enum class Kind : std::uint8_t {
    Text,      // characters as they show
    Break,     // a line break
    StyleOn,   // `style` begins
    StyleOff,  // `style` ends
    Markup,    // a tag of the HTML family as it stood, for the formats that have it
  };
  Kind kind = Kind::Text;
  CueStyle style = CueStyle::Italic;
  std::uint32_t begin = 0;  // the piece's characters in Cue::chars (Text, Markup)
  std::uint32_t size = 0;
};

// What a reader met in a cue that only its own family of formats carries:
// lost when the cue is written in another.
struct CueLosses {
  int drawings = 0;    // ASS vector drawings (\p1 ... \p0)
  int positions = 0;   // \pos, \move, \an; SRT position text; WebVTT cue settings; {P:}
  int tags = 0;        // other markup: colours, fonts, effects, voices
  int layers = 0;      // ASS events on a layer above 0, which SSA has not
  int characters = 0;  // characters the format cannot hold in text (MicroDVD's '|')

  bool any() const { return drawings + positions + tags + layers + characters > 0; }
  void add(const CueLosses& other) {
    drawings += other.drawings;
    positions += other.positions;
    tags += other.tags;
    layers += other.layers;
    characters += other.characters;
  }
};

struct Cue {
  // In milliseconds.
  std::int64_t start = 0;
  std::int64_t end = 0;
  int layer = 0;
  // An ASS or SSA Comment: event, which only those formats keep.
  bool comment = false;
  std::string chars;
  std::vector<CuePiece> pieces;
  // For an ASS or SSA event: the fields after the two times as they stood
  // ("Default,,0,0,0,,{\i1}text"), which an ASS or SSA writer keeps.
  std::string substation_fields;
  CueLosses losses;

  void add_text(std::string_view text);
  void add(CuePiece::Kind kind, CueStyle style = CueStyle::Italic);
  void add_markup(std::string_view tag);
  std::string_view text_of(const CuePiece& piece) const {
    return std::string_view(chars).substr(piece.begin, piece.size);
  }
};

// The SubStation (ASS, SSA) lines outside the events, as read with their
// line ends: the lines before the [Events] section and the sections after
// it.
struct SubstationSections {
  bool present = false;
  bool version4 = false;  // SSA v4: [V4 Styles] or "ScriptType: v4.00"
  std::vector<std::string> head;
  std::vector<std::string> tail;
};

// A whole file as a reader gives it.
struct CueFile {
  std::vector<Cue> cues;
  // The cues' start and end count frames of the uncut video (MicroDVD), not
  // milliseconds: they go through the cut without a detour through time.
  bool in_frames = false;
  std::string_view line_end = "\n";  // the line end of the first line: every line written ends so
  bool byte_order_mark = false;      // a UTF-8 mark stood in front
  SubstationSections substation;
};

}  // namespace mendra
