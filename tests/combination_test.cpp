// Features tried together: a seeded generator builds a folder (subtitles of
// every format and encoding, the same names in several folders, cut lists of
// every kind, links, named pipes, a stream and a project) and a command line
// from the options, runs mendra on it twice, and checks what must hold for
// every run:
//   - no input changed unless an output option named it;
//   - no file written twice, nothing new but what "written:" reported;
//   - each input wrote all its outputs or none, and the status says so;
//   - each output's text comes from the subtitle named for it;
//   - WebVTT written is UTF-8;
//   - the same command on a fresh copy gives the same bytes.
// MENDRA_COMBINATION_SEED sets the first case's seed, MENDRA_COMBINATION_RUNS
// the number of cases; a failure prints the seed and how to run it alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/run_binary.h"
#include "util/text_encoding.h"

#ifndef MENDRA_COMBINATION_RUNS
#define MENDRA_COMBINATION_RUNS 1500
#endif

namespace mendra::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Rng {
  std::mt19937_64 engine;
  int below(int n) { return static_cast<int>(engine() % static_cast<unsigned>(n)); }
  bool percent(int p) { return below(100) < p; }
  template <typename T>
  const T& pick(std::initializer_list<T> items) {
    return items.begin()[below(static_cast<int>(items.size()))];
  }
};

std::string with_extension(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has ? path.substr(0, dot) : path) + extension;
}

std::string extension_of(const std::string& path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

bool is_subtitle_extension(const std::string& extension) {
  std::string lower = extension;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == ".srt" || lower == ".vtt" || lower == ".ass" || lower == ".ssa" ||
         lower == ".sub";
}

// ---- The folder ----

enum class Role { Subtitle, Other, OldOutput };

struct Entry {
  std::string path;  // relative, '/' between folders
  std::string bytes;
  std::string link_to;  // a link's target, relative to its folder
  bool pipe = false;
  Role role = Role::Other;
  std::string token;  // a subtitle's: every cue of it carries this word
};

Entry file_entry(std::string path, std::string bytes, Role role = Role::Other,
                 std::string token = "") {
  Entry entry;
  entry.path = std::move(path);
  entry.bytes = std::move(bytes);
  entry.role = role;
  entry.token = std::move(token);
  return entry;
}

// One input on the command line and what the model expects of it.
struct Input {
  std::string arg;
  std::vector<std::string> words;             // its own options
  std::map<std::string, std::string> chosen;  // option -> value, what the model reads
  std::vector<std::pair<std::string, std::string>> subtitles;  // extension, token
  bool by_content = false;  // standard input, or a pipe named without extension
  std::string chapters;     // a chapter file as the input: its extension
};

struct Case {
  Rng rng;
  std::vector<Entry> entries;
  std::set<std::string> folders{"a", "b"};
  std::string standard_input = "";
  std::string standard_input_token;
  std::vector<Input> inputs;
  std::map<std::string, std::string> shared;  // the options given before -all
  std::vector<std::string> shared_words;
  std::string stream_bytes;
  int names = 0;

  std::string fresh(const std::string& stem) { return stem + std::to_string(++names); }
  const Entry* find(const std::string& path) const {
    for (const Entry& entry : entries) {
      if (entry.path == path) return &entry;
    }
    return nullptr;
  }
};

// Times in milliseconds as each format writes them.
std::string clock_text(int ms, const std::string& extension) {
  char text[32];
  const int h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
  if (extension == ".srt") std::snprintf(text, sizeof text, "%02d:%02d:%02d,%03d", h, m, s, f);
  if (extension == ".vtt") std::snprintf(text, sizeof text, "%02d:%02d.%03d", m, s, f);
  if (extension == ".ass" || extension == ".ssa") {
    std::snprintf(text, sizeof text, "%d:%02d:%02d.%02d", h, m, s, f / 10);
  }
  return text;
}

// A MicroDVD cue: frames of a minute at about 30 fps, now and then a line
// break or a style code.
std::string microdvd_cue(Rng& rng, const std::string& words) {
  const int start = rng.below(1650);
  const int end = start + 15 + rng.below(120);
  const std::string style = rng.percent(20) ? rng.pick<std::string>({"{y:i}", "{Y:b}"}) : "";
  const std::string more = rng.percent(20) ? "|second line" : "";
  return "{" + std::to_string(start) + "}{" + std::to_string(end) + "}" + style + words + more +
         "\n";
}

// A subtitle of four cues in any format and encoding; every cue text holds
// the token. A MicroDVD one names its frames' rate in its first line or not.
std::string subtitle_bytes(Rng& rng, const std::string& extension, const std::string& token) {
  const bool ass = extension == ".ass" || extension == ".ssa";
  std::string text = extension == ".vtt" ? "WEBVTT\n\n" : "";
  if (extension == ".sub") {
    text = rng.pick<std::string>({"", "{1}{1}25\n", "{1}{1}23.976\n", "{0}{0}29.97\n"});
  }
  if (ass) {
    text = std::string("[Script Info]\nScriptType: ") + (extension == ".ass" ? "v4.00+" : "v4.00") +
           "\n\n[Events]\nFormat: " + (extension == ".ass" ? "Layer" : "Marked") +
           ", Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
  }
  const int encoding = rng.below(6);  // UTF-8, with a mark, UTF-16 LE/BE, Latin-1, é
  for (int cue = 1; cue <= 4; ++cue) {
    const int start = rng.below(55000);
    const int end = start + 500 + rng.below(4000);
    std::string words = token + " cue " + std::to_string(cue);
    if (encoding == 4 && cue == 3) words += " \xC4rger";
    if (encoding == 5) words += " \xC3\xA9t\xC3\xA9";
    const std::string from = clock_text(start, extension), to = clock_text(end, extension);
    if (extension == ".sub") {
      text += microdvd_cue(rng, words);
    } else if (ass) {
      text += std::string("Dialogue: ") + (extension == ".ass" ? "0" : "Marked=0") + "," + from +
              "," + to + ",Default,,0,0,0,," + words + "\n";
    } else {
      if (extension == ".srt") text += std::to_string(cue) + "\n";
      text += from + " --> " + to + "\n" + words + "\n\n";
    }
  }
  if (rng.percent(30)) text = std::regex_replace(text, std::regex("\n"), "\r\n");
  if (encoding == 1) text = "\xEF\xBB\xBF" + text;
  if (encoding == 2) text = "\xFF\xFE" + encode_utf16(text, TextEncoding::Utf16Le);
  if (encoding == 3) text = "\xFE\xFF" + encode_utf16(text, TextEncoding::Utf16Be);
  return text;
}

// The cut-list kinds, one row each: the option that reads the list, what
// comes before and after the ranges, and how it writes one kept range of
// frames.
struct ListKind {
  const char* option;
  const char* head;
  const char* tail;
  void (*kept)(std::ostream& out, int first, int last);
};

// Where a frame starts, in milliseconds at 29.97 fps.
int frame_ms(int frame) {
  return frame * 1001 / 30;
}

std::string seconds(int ms) {
  char text[24];
  std::snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
  return text;
}

constexpr ListKind kListKinds[] = {
    // AviUtl lists name what is deleted: here the frames between the kept ranges.
    {"-l", "0 * 1799\n", "", [](std::ostream& o, int f, int l) { o << f << " - " << l << "\n"; }},
    {"-t", "", "", [](std::ostream& o, int f, int l) { o << "Trim(" << f << "," << l << ")\n"; }},
    {"-v", "", "",
     [](std::ostream& o, int f, int l) {
       o << "VirtualDub.subset.AddRange(" << f << "," << l - f + 1 << ");\n";
     }},
    {"-k", "", "", [](std::ostream& o, int f, int l) { o << f << "\n"
                                                         << l << "\n"; }},
    {"-k1", "", "", [](std::ostream& o, int f, int l) { o << f << "\n"
                                                          << l << "\n"; }},
    {"-k3", "", "", [](std::ostream& o, int f, int l) { o << f << "\n"
                                                          << l << "\n"; }},
    {"-edl", "", "",
     [](std::ostream& o, int f, int l) {
       o << seconds(frame_ms(f)) << " " << seconds(frame_ms(l)) << " 0\n";
     }},
    {"-edl", "# mpv EDL v0\n", "",
     [](std::ostream& o, int f, int l) {
       o << "rec.ts," << seconds(frame_ms(f)) << "," << seconds(frame_ms(l + 1) - frame_ms(f))
         << "\n";
     }},
    {"-segments", "", "",
     [](std::ostream& o, int f, int l) {
       o << seconds(frame_ms(f)) << "," << seconds(frame_ms(l + 1)) << "\n";
     }},
    {"-segments", "{\n  version: 2,\n  mediaFileName: 'rec.ts',\n  cutSegments: [\n", "  ],\n}\n",
     [](std::ostream& o, int f, int l) {
       o << "    { start: " << seconds(frame_ms(f)) << ", end: " << seconds(frame_ms(l + 1))
         << " },\n";
     }},
    {"-concat", "ffconcat version 1.0\n", "",
     [](std::ostream& o, int f, int l) {
       o << "file rec.ts\ninpoint " << seconds(frame_ms(f)) << "\noutpoint "
         << seconds(frame_ms(l + 1)) << "\n";
     }},
    {"-avidemux", "adm = Avidemux()\nadm.clearSegments()\n", "",
     [](std::ostream& o, int f, int l) {
       o << "adm.addSegment(0, " << frame_ms(f) * 1000 << ", "
         << (frame_ms(l + 1) - frame_ms(f)) * 1000 << ")\n";
     }},
};

// A list of the kind keeping (or, for AviUtl, deleting) one to three
// ranges of a minute's frames; now and then one that is no list at all.
std::string cut_list_bytes(Rng& rng, const ListKind& kind) {
  std::vector<int> points;
  for (int i = 0, n = 2 + 2 * rng.below(3); i < n; ++i) points.push_back(rng.below(1800));
  std::sort(points.begin(), points.end());
  std::ostringstream out;
  out << kind.head;
  for (std::size_t i = 0; i + 1 < points.size(); i += 2) kind.kept(out, points[i], points[i + 1]);
  out << kind.tail;
  return rng.percent(5) ? "no list at all\n" : out.str();
}

const ListKind& any_list_kind(Rng& rng) {
  return kListKinds[rng.below(static_cast<int>(std::size(kListKinds)))];
}

void add_subtitle(Case& c, const std::string& path, bool pipe) {
  const std::string token = c.fresh("zq") + "zq";
  c.entries.push_back(
      file_entry(path, subtitle_bytes(c.rng, extension_of(path), token), Role::Subtitle, token));
  c.entries.back().pipe = pipe;
}

// Subtitles under a few names in several folders, lists and old outputs
// beside some of them, links to some, a stream, its project, timecodes.
void build_folder(Case& c) {
  Rng& rng = c.rng;
  for (int i = 0, n = 2 + rng.below(5); i < n; ++i) {
    const std::string folder = rng.pick<std::string>({"", "a/", "b/"});
    const std::string base = folder + rng.pick<std::string>({"x", "rec", "rec.en", "movie"});
    const std::string path =
        base + rng.pick<std::string>({".srt", ".vtt", ".ass", ".ssa", ".sub", ".SRT"});
    if (c.find(path) != nullptr) continue;
    add_subtitle(c, path, false);
    if (rng.percent(75)) {
      // The list found beside the subtitle: <base>_del.txt, else <base>.edl.
      const bool edl = rng.percent(30);
      const ListKind& kind = edl ? *std::find_if(std::begin(kListKinds), std::end(kListKinds),
                                                 [](auto& k) { return k.option == "-edl"s; })
                                 : kListKinds[0];
      c.entries.push_back(
          file_entry(base + (edl ? ".edl" : "_del.txt"), cut_list_bytes(rng, kind)));
    }
    if (rng.percent(20)) {
      c.entries.push_back(file_entry(with_extension(path, "") + "_new" + extension_of(path),
                                     "old output\n", Role::OldOutput));
    }
  }
  if (rng.percent(30)) {
    c.folders.insert("out");
    c.entries.push_back(file_entry("out/x_new.srt", "old output\n", Role::OldOutput));
  }
  for (int i = 0, n = rng.below(3); i < n; ++i) {
    const Entry& target =
        c.entries[static_cast<std::size_t>(rng.below(static_cast<int>(c.entries.size())))];
    if (target.role != Role::Subtitle || target.path.find('/') != std::string::npos) continue;
    const std::string folder = rng.pick<std::string>({"", "a/"});
    Entry link = file_entry(folder + c.fresh("lnk") + extension_of(target.path), "", Role::Subtitle,
                            target.token);
    link.link_to = (folder.empty() ? "" : "../") + target.path;
    c.entries.push_back(link);
  }
  if (rng.percent(40)) {
    c.entries.push_back(file_entry("rec.ts", c.stream_bytes));
    c.entries.push_back(file_entry(
        "p.d2v", "DGIndexProjectFile16\n1\nrec.ts\n\nStream_Type=2\nLocation=0,0,0,0\n"));
    if (rng.percent(50) && c.find("rec.srt") == nullptr) add_subtitle(c, "rec.srt", false);
    if (rng.percent(30) && c.find("rec.ass") == nullptr) add_subtitle(c, "rec.ass", false);
  }
  c.entries.push_back(file_entry("tc.txt", "# timecode format v1\nassume 29.97\n0,599,23.976\n"));
  c.entries.push_back(file_entry("ch.txt",
                                 "CHAPTER01=00:00:00.000\nCHAPTER01NAME=A\n"
                                 "CHAPTER02=00:00:05.000\nCHAPTER02NAME=B\n"));
  c.entries.push_back(
      file_entry("ch.xml",
                 "<?xml version=\"1.0\"?>\n<Chapters><EditionEntry><ChapterAtom>"
                 "<ChapterTimeStart>00:00:03.000000000</ChapterTimeStart></ChapterAtom>"
                 "</EditionEntry></Chapters>\n"));
  c.entries.push_back(
      file_entry("ch.ffmeta", ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=9000\n"));
  if (rng.percent(50))
    c.entries.push_back(file_entry("ch_del.txt", cut_list_bytes(rng, kListKinds[0])));
}

// ---- The options: one row each ----

struct OptionRow {
  int percent;  // how often an input is given it
  void (*add)(Case& c, Input& input, std::vector<std::string>& words,
              std::map<std::string, std::string>& chosen);
};

void add_cut_list(Case& c, Input& /*input*/, std::vector<std::string>& words,
                  std::map<std::string, std::string>& chosen) {
  const ListKind& kind = any_list_kind(c.rng);
  const std::string path = c.fresh("list") + ".txt";
  c.entries.push_back(file_entry(path, cut_list_bytes(c.rng, kind)));
  c.entries.back().pipe = c.rng.percent(15);
  words.insert(words.end(), {kind.option, path});
  chosen["list"] = path;
}

// -o as standard output, a folder (existing or not), the input itself, a
// name without extension, an old output or a fresh file, or a conversion.
void add_output(Case& c, Input& input, std::vector<std::string>& words,
                std::map<std::string, std::string>& chosen) {
  Rng& rng = c.rng;
  std::string old_output =
      c.fresh("o") + rng.pick<std::string>({".srt", ".vtt", ".ass", ".ssa", ".sub"});
  for (const Entry& entry : c.entries) {
    if (entry.role == Role::OldOutput && rng.percent(50)) old_output = entry.path;
  }
  const std::string value = rng.pick<std::string>(
      {"-", rng.pick<std::string>({"out/", "out", "a", "b/", "nowhere/"}), input.arg,
       c.fresh(rng.pick<std::string>({"o", "a/o", "out/o"})), old_output,
       with_extension(input.arg, "") + "x" +
           rng.pick<std::string>({".vtt", ".srt", ".ass", ".ssa", ".sub"})});
  words.insert(words.end(), {"-o", value});
  chosen["-o"] = value;
}

void add_timecodes_out(Case& c, Input& input, std::vector<std::string>& words,
                       std::map<std::string, std::string>& chosen) {
  const std::string value = c.rng.percent(80) ? "cut_tc.txt" : input.arg;
  words.insert(words.end(), {"-timecodes-out", value});
  chosen["-timecodes-out"] = value;
}

void add_word(std::vector<std::string>& words, std::initializer_list<std::string> one_of, Rng& rng,
              std::initializer_list<std::string> values = {}) {
  words.push_back(rng.pick(one_of));
  if (values.size() > 0) words.push_back(rng.pick(values));
}

// An option with a value the model reads.
void add_chosen(Case& c, std::vector<std::string>& words,
                std::map<std::string, std::string>& chosen, const std::string& option,
                std::initializer_list<std::string> values) {
  const std::string value = c.rng.pick(values);
  words.insert(words.end(), {option, value});
  chosen[option] = value;
}

constexpr OptionRow kOptionRows[] = {
    {65, add_cut_list},
    {45, add_output},
    {12, add_timecodes_out},
    {10,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-timecodes"}, c.rng, {"tc.txt", "missing.txt"});
     }},
    {15,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-rate"}, c.rng, {"30000/1001", "25", "23.976", "abc"});
     }},
    {15,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-delay"}, c.rng, {"500", "-1200", "0", "1.5"});
     }},
    {20,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-md", "-mv", "-mt"}, c.rng);
       if (c.find("rec.ts") != nullptr && c.rng.percent(80))
         w.insert(w.end(), {"-stream", "rec.ts"});
     }},
    {10,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-format"}, c.rng, {"srt", "vtt", "ass", "ssa", "sub"});
     }},
    {8, [](Case& c, Input&, std::vector<std::string>& w,
           std::map<std::string, std::string>&) { add_word(w, {"-nocut"}, c.rng); }},
    {8,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-fps-change"}, c.rng, {"23.976:25", "25:23.976", "0:25"});
     }},
    {8,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-sync"}, c.rng, {"0:10=0:11", "0:05=0:04,0:40=0:41.5", "0:10=x"});
     }},
    {10,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>& chosen) {
       add_chosen(c, w, chosen, "-chapters", {"ch.txt", "ch.xml", "ch.ffmeta", "missing.txt"});
     }},
    {8,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>& chosen) {
       add_chosen(c, w, chosen, "-chapters-out", {"marks.txt", "marks.xml", "a/m.ffmeta", "m.srt"});
     }},
    {8,
     [](Case& c, Input&, std::vector<std::string>& w, std::map<std::string, std::string>&) {
       add_word(w, {"-charset"}, c.rng, {"CP1252", "UTF-8", "SHIFT_JIS", "NO-SUCH-SET"});
     }},
};

// The input of one place on the command line: a subtitle (a file, a link,
// a pipe named with or without its extension), the standard input or the
// project.
Input choose_input(Case& c, bool standard_input_free) {
  Rng& rng = c.rng;
  Input input;
  const int kind = rng.below(10);
  if (kind == 0 && standard_input_free) {
    input.arg = "-";
    input.by_content = true;
    c.standard_input_token = c.fresh("zq") + "zq";
    c.standard_input = subtitle_bytes(rng, rng.pick<std::string>({".srt", ".vtt", ".ass", ".sub"}),
                                      c.standard_input_token);
    input.subtitles.emplace_back("", c.standard_input_token);
    return input;
  }
  if (kind == 1 && c.find("p.d2v") != nullptr) {
    // The subtitles beside the stream that exist, or both when none does.
    input.arg = "p.d2v";
    for (const char* extension : {".ass", ".srt"}) {
      if (const Entry* beside = c.find(std::string("rec") + extension)) {
        input.subtitles.emplace_back(extension, beside->token);
      }
    }
    if (input.subtitles.empty()) input.subtitles = {{".ass", "none"}, {".srt", "none"}};
    return input;
  }
  if (kind == 3 && rng.percent(50)) {
    input.chapters = rng.pick<std::string>({".xml", ".ffmeta"});
    input.arg = "ch" + input.chapters;
    return input;
  }
  if (kind == 2) {
    // A pipe used by this input alone, named with or without its extension.
    const bool named = rng.percent(50);
    const std::string extension = rng.pick<std::string>({".srt", ".vtt", ".ass", ".sub"});
    const std::string path = c.fresh("pipe") + (named ? extension : "");
    const std::string token = c.fresh("zq") + "zq";
    c.entries.push_back(
        file_entry(path, subtitle_bytes(rng, extension, token), Role::Subtitle, token));
    c.entries.back().pipe = true;
    input.arg = path;
    input.by_content = !named;
    input.subtitles.emplace_back(named ? extension : "", token);
    return input;
  }
  std::vector<const Entry*> named;
  for (const Entry& entry : c.entries) {
    if (entry.role == Role::Subtitle && !entry.pipe) named.push_back(&entry);
  }
  const Entry& entry = *named[static_cast<std::size_t>(rng.below(static_cast<int>(named.size())))];
  input.arg = (rng.percent(10) ? "./" : "") + entry.path;
  input.subtitles.emplace_back(extension_of(entry.path), entry.token);
  return input;
}

// The command line: some options before -all for every input, then each
// input with options of its own.
std::vector<std::string> build_command(Case& c) {
  Rng& rng = c.rng;
  const int count = 1 + rng.below(3);
  bool standard_input_free = true;
  for (int i = 0; i < count; ++i) {
    c.inputs.push_back(choose_input(c, standard_input_free));
    standard_input_free &= c.inputs.back().arg != "-";
  }
  std::vector<std::string> args;
  if (rng.percent(25)) {
    for (const OptionRow& row : kOptionRows) {
      if (rng.percent(row.percent / 2)) row.add(c, c.inputs.front(), c.shared_words, c.shared);
    }
    args = c.shared_words;
    args.push_back("-all");
  }
  for (Input& input : c.inputs) {
    for (const OptionRow& row : kOptionRows) {
      if (rng.percent(row.percent)) row.add(c, input, input.words, input.chosen);
    }
    args.insert(args.end(), input.words.begin(), input.words.end());
    args.push_back(input.arg);
  }
  return args;
}

// ---- The model: where each input's outputs go ----

struct Expected {
  std::string shown;  // as "written:" names it
  std::string token;  // empty for a timecode file
};

std::vector<Expected> expected_outputs(const Case& c, const Input& input) {
  std::map<std::string, std::string> options = c.shared;
  for (const auto& [key, value] : input.chosen) options[key] = value;
  std::vector<Expected> outputs;
  for (const auto& [extension, token] : input.subtitles) {
    std::string shown = "(refused)";
    const auto o = options.find("-o");
    if (o == options.end()) {
      shown =
          input.by_content ? "standard output" : with_extension(input.arg, "") + "_new" + extension;
    } else if (o->second == "-") {
      shown = "standard output";
    } else if (o->second.ends_with('/') || c.folders.count(o->second) != 0) {
      const std::string folder = o->second.ends_with('/') ? o->second : o->second + "/";
      const std::string name = input.arg.substr(input.arg.rfind('/') + 1);
      if (!input.by_content) shown = folder + with_extension(name, "") + "_new" + extension;
    } else if (is_subtitle_extension(extension_of(o->second))) {
      shown = o->second;
    } else if (!input.by_content) {
      shown = with_extension(o->second, extension);
    }
    outputs.push_back(Expected{shown, token});
  }
  if (const auto tc = options.find("-timecodes-out"); tc != options.end()) {
    outputs.push_back(Expected{tc->second, ""});
  }
  const auto o = options.find("-o");
  const bool o_folder = o != options.end() && o->second != "-" &&
                        (o->second.ends_with('/') || c.folders.count(o->second) != 0);
  const std::string folder =
      o_folder ? (o->second.ends_with('/') ? o->second : o->second + "/") : std::string();
  if (!input.chapters.empty()) {
    // As a subtitle's -o: only its own extension names a file, another
    // format's is refused.
    const std::string name = input.arg.substr(input.arg.rfind('/') + 1);
    std::string shown = with_extension(input.arg, "") + "_new" + input.chapters;
    if (o != options.end() && o->second == "-") {
      shown = "standard output";
    } else if (o_folder) {
      shown = folder + with_extension(name, "") + "_new" + input.chapters;
    } else if (o != options.end()) {
      const std::string extension = extension_of(o->second);
      const bool chapter_format =
          extension == ".txt" || extension == ".xml" || extension == ".ffmeta";
      shown = extension == input.chapters ? o->second
              : is_subtitle_extension(extension) || chapter_format
                  ? "(refused)"
                  : with_extension(o->second, input.chapters);
    }
    outputs.push_back(Expected{shown, ""});
  }
  if (const auto ch = options.find("-chapters"); ch != options.end()) {
    const std::string base = with_extension(ch->second, "") + "_new" + extension_of(ch->second);
    outputs.push_back(Expected{o_folder ? folder + base : base, ""});
  }
  if (const auto marks = options.find("-chapters-out"); marks != options.end()) {
    outputs.push_back(Expected{marks->second, ""});
  }
  return outputs;
}

// ---- Running and checking ----

struct NodeState {
  char type = 'f';  // file, link, pipe, folder
  unsigned mode = 0;
  std::string bytes;  // a file's content, a link's target
  bool operator==(const NodeState&) const = default;
};
using Tree = std::map<std::string, NodeState>;

Tree read_tree(const fs::path& root) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    if (lstat(item.path().c_str(), &info) != 0) continue;
    NodeState node{'f', info.st_mode & 07777u, ""};
    if (S_ISLNK(info.st_mode)) node = NodeState{'l', 0, fs::read_symlink(item.path()).string()};
    if (S_ISFIFO(info.st_mode)) node.type = 'p';
    if (S_ISDIR(info.st_mode)) node.type = 'd';
    if (S_ISREG(info.st_mode)) node.bytes = read_file(item.path());
    tree[item.path().lexically_relative(root).generic_string()] = node;
  }
  return tree;
}

struct CaseRun {
  RunResult result;
  Tree before;  // as the run found the folder
  Tree after;
};

// Lays out the folder afresh, feeds each pipe from a thread of its own
// (for as long as the run may open it) and runs the command.
CaseRun run_case(const Case& c, const fs::path& dir, const std::vector<std::string>& args) {
  fs::remove_all(dir);
  for (const std::string& folder : c.folders) fs::create_directories(dir / folder);
  const fs::path stdin_path = dir.string() + ".stdin";
  write_file(stdin_path, c.standard_input);
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (const Entry& entry : c.entries) {
    const fs::path path = dir / entry.path;
    fs::create_directories(path.parent_path());
    if (!entry.link_to.empty()) {
      fs::create_symlink(entry.link_to, path);
    } else if (!entry.pipe) {
      write_file(path, entry.bytes);
    } else if (mkfifo(path.c_str(), 0644) == 0) {
      writers.emplace_back([path, bytes = entry.bytes, &done] {
        sigset_t pipe_signal;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
        int fd = -1;
        while ((fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO && !done) {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        // An output may have taken the pipe's name meanwhile.
        struct stat info {};
        if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode))) ::close(fd);
        if (fd < 0 || !S_ISFIFO(info.st_mode)) return;
        fcntl(fd, F_SETFL, 0);
        for (std::size_t at = 0; at < bytes.size();) {
          const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
          if (n <= 0) break;
          at += static_cast<std::size_t>(n);
        }
        ::close(fd);
      });
    }
  }
  CaseRun run;
  run.before = read_tree(dir);
  run.result = run_binary(MENDRA_BINARY, args, dir, stdin_path, 20);
  done = true;
  for (std::thread& writer : writers) writer.join();
  run.after = read_tree(dir);
  fs::remove(stdin_path);
  return run;
}

// The file a path written to finally is: links followed.
std::string final_file(const fs::path& dir, const std::string& shown) {
  std::error_code ignored;
  return fs::weakly_canonical(dir / shown, ignored).string();
}

std::set<std::string> tokens_in(std::string text) {
  std::erase(text, '\0');  // UTF-16: the token's letters with zero bytes between
  static const std::regex kToken("zq[0-9]+zq");
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), kToken), end; it != end; ++it) {
    found.insert(it->str());
  }
  return found;
}

// Every property of one run; the first that fails, or empty.
std::string check_run(const Case& c, const fs::path& dir, const CaseRun& run) {
  const Tree& before = run.before;
  const RunResult& result = run.result;
  if (result.timed_out) return "the run did not end (a pipe opened twice?)";
  if (result.exit_status < 0 || result.exit_status > 2) return "the run crashed";
  static const std::regex kWritten(
      R"(^written: (.*) \((\d+ re-timed, \d+ dropped|\d+ frames|\d+ chapters(, \d+ left out)?)\)$)");
  std::vector<std::string> written;
  std::istringstream lines(result.standard_error);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, kWritten)) written.push_back(match[1]);
  }
  // No file written twice; each written file is there.
  std::set<std::string> written_files;
  for (const std::string& shown : written) {
    const std::string file = shown == "standard output" ? shown : final_file(dir, shown);
    if (!written_files.insert(file).second) return shown + " was written twice";
    if (shown != "standard output" && !fs::is_regular_file(file)) return shown + " is missing";
  }
  // Nothing changed or new but what was written; inputs only where named.
  std::set<std::string> named_files;
  for (const Input& input : c.inputs) {
    std::map<std::string, std::string> options = c.shared;
    for (const auto& [key, value] : input.chosen) options[key] = value;
    for (const Expected& output : expected_outputs(c, input)) {
      if (output.token.empty() || options.count("-o") != 0) {
        named_files.insert(final_file(dir, output.shown));
      }
    }
  }
  for (const auto& [path, node] : before) {
    if (run.after.count(path) == 0) return path + " was removed";
  }
  for (const auto& [path, node] : run.after) {
    const auto old = before.find(path);
    if (old != before.end() && old->second == node) continue;
    const std::string file = final_file(dir, path);
    if (node.type == 'l' || written_files.count(file) == 0) {
      return path + (old == before.end() ? " appeared" : " changed") + " but was not written";
    }
    const Entry* entry = c.find(path);
    if (old != before.end() && entry != nullptr && entry->role != Role::OldOutput &&
        named_files.count(file) == 0) {
      return "the input " + path + " changed without an output option naming it";
    }
  }
  // Each written line belongs to an input that expects it, with the text
  // of the subtitle named for it; each input wrote all or nothing.
  std::vector<std::vector<Expected>> expected;
  for (const Input& input : c.inputs) expected.push_back(expected_outputs(c, input));
  std::vector<std::string> texts;
  for (const std::string& shown : written) {
    texts.push_back(shown == "standard output" ? result.standard_output
                                               : read_file(final_file(dir, shown)));
    if (extension_of(shown) == ".vtt") {
      Utf8Check check;
      check.check(texts.back());
      check.finish();
      if (check.first_bad_line != 0 || texts.back().starts_with("\xFF\xFE") ||
          texts.back().starts_with("\xFE\xFF")) {
        return shown + " is WebVTT, but not UTF-8";
      }
    }
  }
  // Whether input k expects written line i, with that text.
  const auto expects = [&](std::size_t k, std::size_t i) {
    const std::set<std::string> tokens = tokens_in(texts[i]);
    return std::any_of(expected[k].begin(), expected[k].end(), [&](const Expected& output) {
      return output.shown == written[i] &&
             (output.token.empty() || std::all_of(tokens.begin(), tokens.end(),
                                                  [&](auto& t) { return t == output.token; }));
    });
  };
  // The lines of one input stand together, and the inputs come in order:
  // each wrote all its outputs (as the next lines, in any order) or none.
  const auto completes = [&](std::size_t k, std::size_t i) {
    const std::size_t count = expected[k].size();
    if (i + count > written.size()) return false;
    std::set<std::string> seen;
    for (std::size_t j = i; j < i + count; ++j) {
      if (!expects(k, j) || !seen.insert(written[j]).second) return false;
    }
    return true;
  };
  std::vector<bool> wrote(c.inputs.size(), false);
  const std::function<bool(std::size_t, std::size_t)> explain = [&](std::size_t i, std::size_t k) {
    if (i == written.size()) {
      for (std::size_t rest = k; rest < wrote.size(); ++rest) wrote[rest] = false;
      return true;
    }
    if (k == c.inputs.size()) return false;
    wrote[k] = true;
    if (completes(k, i) && explain(i + expected[k].size(), k + 1)) return true;
    wrote[k] = false;
    return explain(i, k + 1);
  };
  if (!explain(0, 0)) {
    return "the outputs written are no input's whole set with its own text (written: " +
           std::to_string(written.size()) + ")";
  }
  const bool all_written = std::all_of(wrote.begin(), wrote.end(), [](bool w) { return w; });
  if (result.exit_status == 0 && !all_written) return "status 0, but an input wrote nothing";
  if (result.exit_status == 1 && all_written) return "status 1, but every input was written";
  if (result.exit_status == 2 && !written.empty()) return "status 2, but something was written";
  return "";
}

std::string quoted(const std::vector<std::string>& args) {
  std::string text = "mendra";
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

std::uint64_t from_environment(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoull(value, nullptr, 10) : fallback;
}

TEST(CombinationTest, PropertiesHoldInRandomRuns) {
  const std::uint64_t first_seed = from_environment("MENDRA_COMBINATION_SEED", 1);
  const std::uint64_t runs = from_environment("MENDRA_COMBINATION_RUNS", MENDRA_COMBINATION_RUNS);
  const std::string stream = read_file(fs::path(MENDRA_TEST_DATA) / "ts" / "h264_ac3_cut.ts");
  ASSERT_FALSE(stream.empty());
  // In memory where the system offers it: a disk's journal makes every
  // rename over a file cost as much as the run itself.
  struct WorkDir {
    fs::path path =
        (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
        ("mendra-combination-" + std::to_string(getpid()));
    ~WorkDir() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } work;
  const fs::path dir = work.path / "case";
  for (std::uint64_t seed = first_seed; seed < first_seed + runs; ++seed) {
    Case c;
    c.rng.engine.seed(seed);
    c.stream_bytes = stream;
    build_folder(c);
    const std::vector<std::string> args = build_command(c);
    const CaseRun first = run_case(c, dir, args);
    std::string problem = check_run(c, dir, first);
    const CaseRun second = run_case(c, dir, args);
    if (problem.empty() && (first.result.exit_status != second.result.exit_status ||
                            first.result.standard_output != second.result.standard_output ||
                            first.result.standard_error != second.result.standard_error ||
                            first.after != second.after)) {
      problem = "a second run on a fresh copy gave other bytes";
    }
    if (!problem.empty()) {
      ADD_FAILURE() << problem << "\nseed " << seed << ": " << quoted(args) << "\nstatus "
                    << first.result.exit_status << ", standard error:\n"
                    << first.result.standard_error
                    << "run it alone: MENDRA_COMBINATION_SEED=" << seed
                    << " MENDRA_COMBINATION_RUNS=1 mendra_tests --gtest_filter=CombinationTest.*";
      return;
    }
  }
}

}  // namespace
}  // namespace mendra::test
