#include "subtitle/rewrite.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "subtitle/cue_io.h"
#include "subtitle/line_rewriter.h"
#include "subtitle/retime.h"
#include "util/file_failure.h"
#include "util/input_file.h"
#include "util/path.h"

namespace mendra {
namespace {

constexpr TimePrecision kCs = TimePrecision::Centiseconds;
constexpr TimePrecision kMs = TimePrecision::Milliseconds;
// U+FEFF: written in front of a UTF-16 text, it becomes the file's mark.
constexpr std::string_view kUtf8Mark = kUtf8ByteOrderMark;
constexpr std::string_view kStandardStream = "-";

bool same_letters(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool starts_with_any_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::ranges::equal(text.substr(0, prefix.size()), prefix, same_letters);
}

// "ScriptType: v4.00" without the '+' of v4.00+, on a line of its own
// within the first bytes.
bool names_ssa_v4(std::string_view text) {
  constexpr std::string_view kKey = "ScriptType:";
  constexpr std::string_view kVersion = "v4.00";
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!starts_with_any_case(line, kKey)) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return starts_with_any_case(line, kVersion) &&
           (line.size() == kVersion.size() || line[kVersion.size()] != '+');
  }
  return false;
}

bool sniffs_substation(std::string_view first_bytes) {
  return first_bytes.starts_with("[Script Info]");
}

bool sniffs_ass(std::string_view first_bytes) {
  return sniffs_substation(first_bytes) && !names_ssa_v4(first_bytes);
}

bool sniffs_ssa(std::string_view first_bytes) {
  return sniffs_substation(first_bytes) && names_ssa_v4(first_bytes);
}

// "WEBVTT" alone on its line or followed by a blank and a title.
bool sniffs_vtt(std::string_view first_bytes) {
  constexpr std::string_view kSignature = "WEBVTT";
  if (!first_bytes.starts_with(kSignature)) return false;
  const std::string_view rest = first_bytes.substr(kSignature.size());
  return rest.empty() || rest.front() == ' ' || rest.front() == '\t' || rest.front() == '\n' ||
         rest.front() == '\r';
}

constexpr CueFamily kSubstation = CueFamily::Substation;
constexpr CueFamily kHtml = CueFamily::Html;

// ASS before SRT: the order in which an input of another extension (a
// stream, a project) has its subtitles re-timed, and so of their messages.
// WebVTT and SSA are re-timed only when named: an input of another
// extension does not look for them, so that its runs and messages stay as
// they were. SRT claims what no other row's sniffing does.
constexpr SubtitleFormat kFormats[] = {
    {".ass", "ass", kCs, sniffs_ass, rewrite_ass_lines, read_substation_cues, write_ass_cues,
     kSubstation, false, false, nullptr},
    {".srt", "srt", kMs, nullptr, rewrite_srt_lines, read_srt_cues, write_srt_cues, kHtml, true,
     false, nullptr},
    {".vtt", "vtt", kMs, sniffs_vtt, rewrite_vtt_lines, read_vtt_cues, write_vtt_cues, kHtml, true,
     false, nullptr},
    {".ssa", "ssa", kCs, sniffs_ssa, rewrite_ssa_lines, read_substation_cues, write_ssa_cues,
     kSubstation, false, false, nullptr},
    {".sub", "sub", kMs, sniffs_microdvd, rewrite_microdvd_lines, read_microdvd_cues,
     write_microdvd_cues, CueFamily::MicroDvd, true, true, read_microdvd_rate},
};
// The leading rows that an input of another extension re-times.
constexpr std::size_t kFormatsForOtherExtensions = 2;
constexpr const SubtitleFormat& kSrt = kFormats[1];
constexpr const SubtitleFormat& kVtt = kFormats[2];
constexpr SubtitleFormat kFromContent = {"",      "subtitle", kMs,   nullptr, nullptr, nullptr,
                                         nullptr, kHtml,      false, false,   nullptr};

}  // namespace

std::span<const SubtitleFormat> subtitle_formats() {
  return std::span(kFormats).first<kFormatsForOtherExtensions>();
}

const SubtitleFormat* find_subtitle_format(std::string_view extension) {
  // Windows names files in any case: MOVIE.ASS is an .ass file.
  for (const SubtitleFormat& format : kFormats) {
    if (std::ranges::equal(extension, std::string_view(format.extension), same_letters)) {
      return &format;
    }
  }
  return nullptr;
}

const SubtitleFormat& sniff_subtitle_format(std::string_view first_bytes) {
  if (first_bytes.starts_with(kUtf8Mark)) first_bytes.remove_prefix(kUtf8Mark.size());
  for (const SubtitleFormat& format : kFormats) {
    if (format.sniff != nullptr && format.sniff(first_bytes)) return format;
  }
  return kSrt;
}

const SubtitleFormat& format_from_content() {
  return kFromContent;
}

bool subtitle_file_rate(const SubtitleFormat& format, const std::string& path, FrameRate& rate) {
  if (format.own_rate == nullptr) return false;
  TextReader in;
  std::string_view first_line;
  return in.open(path) && in.next_line(first_line) && format.own_rate(first_line, rate);
}

bool can_write_as(const SubtitleFormat& in, const SubtitleFormat& out) {
  if (&in == &out) return true;
  return in.read_cues != nullptr && out.write_cues != nullptr;
}

namespace {

bool is_standard_stream(const std::string& path) {
  return path == kStandardStream;
}

// A file as messages name it: the path without its extension after "open
// error:", the full path where the system's reason follows.
std::string message_base(const std::string& path) {
  return is_standard_stream(path) ? path : path_without_extension(path);
}

void report_input_failure(const SubtitleFormat& format, const std::string& path, const Log& log) {
  const std::string role = std::string("input ") + format.label;
  report_file_failure(
      log, FileFailure{role, FileAction::Open, message_base(path), path, open_error_number(path)});
}

// The output could not be created (open) or not be completed and put in
// place (write: a full disk, a failed rename).
void report_output_failure(const SubtitleFormat& format, const std::string& path, FileAction action,
                           const OutputFile& file, const Log& log) {
  const std::string role = std::string("output ") + format.label;
  const std::string shown = is_standard_stream(path) ? "standard output" : path;
  report_file_failure(log,
                      FileFailure{role, action, message_base(path), shown, file.error_number()});
}

bool is_webvtt(const SubtitleFormat& format) {
  return &format == &kVtt;
}

std::string input_name(const std::string& path) {
  return is_standard_stream(path) ? "standard input" : path;
}

// The formats a rewrite reads and writes, with the stand-in row resolved
// from the input's first bytes; false when they do not convert.
bool resolve_formats(const SubtitleFormat& in_format, const SubtitleFormat& out_format,
                     TextReader& in, const SubtitleFormat*& read_as,
                     const SubtitleFormat*& write_as) {
  read_as =
      in_format.rewrite_lines != nullptr ? &in_format : &sniff_subtitle_format(in.peek_start());
  write_as = out_format.rewrite_lines != nullptr ? &out_format : read_as;
  return can_write_as(*read_as, *write_as);
}

// A cue's two times through the pipeline, written in the writer's unit;
// false when nothing of the cue survives. Times in frames go through the
// cut as frames (map_frame); a writer in frames takes the output video's
// frame at or after each time (written_frame).
bool retime_cue(const TimePipeline& pipeline, bool in_frames, const SubtitleFormat& write_as,
                const Cue& cue, WrittenCue& w) {
  if (!in_frames && !write_as.counts_frames) {
    RetimedSpan span;
    // Times beyond the int range of milliseconds wrap as the line
    // rewriters read them.
    if (!retime_span(pipeline, static_cast<int>(cue.start), static_cast<int>(cue.end), span)) {
      return false;
    }
    if (write_as.precision == TimePrecision::Centiseconds) {
      w.start = written_time(pipeline, span.start, TimePrecision::Centiseconds);
      w.end = written_time(pipeline, span.end, TimePrecision::Centiseconds);
    } else {
      w.start = span.start_ms;
      w.end = span.end_ms;
    }
    return true;
  }
  const auto map = [&](std::int64_t time, bool is_start) {
    return in_frames ? map_frame(pipeline, time, is_start)
                     : map_time(pipeline, Milliseconds{static_cast<int>(time)}, is_start);
  };
  const CutTime start = map(cue.start, true);
  if (!start.placed) return false;
  const CutTime end = map(cue.end, false);
  if (write_as.counts_frames) {
    w.start = written_frame(pipeline, start);
    w.end = written_frame(pipeline, end);
  } else {
    w.start = written_time(pipeline, start, write_as.precision);
    w.end = written_time(pipeline, end, write_as.precision);
  }
  return w.start < w.end;
}

// A file written as another format: the reader's cues, each through the
// pipeline, written by the other format's writer. The cues of a file are
// held whole, as a writer may need them in another order.
void convert_cues(const SubtitleFormat& read_as, const SubtitleFormat& write_as, TextReader& in,
                  const TimePipeline& pipeline, LineSink& out) {
  CueFile file;
  read_as.read_cues(in, file, out);
  const bool keeps_substation =
      read_as.family == CueFamily::Substation && write_as.family == CueFamily::Substation;
  std::vector<WrittenCue> written;
  written.reserve(file.cues.size());
  for (const Cue& cue : file.cues) {
    // A Comment: event is no subtitle; only SubStation has a place for it.
    if (cue.comment && write_as.family != CueFamily::Substation) continue;
    // An event that was only a drawing shows nothing without it.
    if (!keeps_substation && cue.losses.drawings > 0 &&
        std::ranges::none_of(
            cue.pieces, [](const CuePiece& piece) { return piece.kind == CuePiece::Kind::Text; })) {
      out.counts.left_out.drawings += cue.losses.drawings;
      ++out.counts.dropped;
      continue;
    }
    WrittenCue w{&cue, 0, 0};
    if (!retime_cue(pipeline, file.in_frames, write_as, cue, w)) {
      if (!cue.comment) ++out.counts.dropped;
      continue;
    }
    if (!cue.comment) ++out.counts.retimed;
    if (!keeps_substation) out.counts.left_out.add(cue.losses);
    written.push_back(w);
  }
  if (write_as.start_order) {
    std::ranges::stable_sort(written, {}, &WrittenCue::start);
  }
  FrameRate rate{};
  const bool has_rate = output_frame_rate(pipeline, rate);
  write_as.write_cues(CueWriting{file, written, out.counts.left_out, has_rate ? &rate : nullptr},
                      out);
}

// Runs the reading format's rewriter over `in`, or converts its cues: a
// UTF-16 text reads as UTF-8 and gets its mark back in front, to be written
// in its own encoding; WebVTT knows no other encoding than UTF-8, and is
// checked to be that.
RewriteCounts rewrite_lines(const SubtitleFormat& read_as, const SubtitleFormat& write_as,
                            TextReader& in, const CutMap& map, const Timing& timing,
                            OutputFile& file) {
  const bool keeps_encoding = !is_webvtt(write_as);
  if (!keeps_encoding) in.check_utf8();
  file.set_encoding(keeps_encoding ? in.encoding() : TextEncoding::Utf8);
  LineSink out{file, 0, {}};
  if (keeps_encoding && in.encoding() != TextEncoding::Utf8) out.write(kUtf8Mark);
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  if (&read_as == &write_as) {
    read_as.rewrite_lines(in, LineContext{pipeline}, out);
  } else {
    convert_cues(read_as, write_as, in, pipeline, out);
  }
  return out.counts;
}

// "2 drawings, 1 position": what a conversion left out, each kind counted.
std::string describe_losses(const CueLosses& losses) {
  struct Kind {
    int count;
    const char* one;
    const char* many;
  };
  const Kind kinds[] = {{losses.drawings, "drawing", "drawings"},
                        {losses.positions, "position", "positions"},
                        {losses.tags, "tag", "tags"},
                        {losses.layers, "layer", "layers"},
                        {losses.characters, "character", "characters"}};
  std::string text;
  for (const Kind& kind : kinds) {
    if (kind.count == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(kind.count);
    text += ' ';
    text += kind.count == 1 ? kind.one : kind.many;
  }
  return text;
}

// Lines were meant to be re-timed and not one could be read: the input is
// not what its name says (another format, UTF-16 without a mark).
bool nothing_retimed(const RewriteCounts& counts) {
  return counts.retimed == 0 && counts.dropped == 0 && !counts.unread.empty();
}

// Whether a pipe names in its first line a frame rate other than the one
// the clock runs at. A pipe is read once, by the rewrite: its rate line
// comes after the clock, and the cut list read on it, were set, so frames
// timed at it would be written at another rate. A file's rate line set the
// clock before it was read.
bool pipe_names_other_rate(const SubtitleFormat& format, const std::string& in_path,
                           TextReader& in, const Timing& timing, FrameRate& rate) {
  if (format.own_rate == nullptr || timing.clock_named ||
      !(is_standard_stream(in_path) || is_piped_file(in_path))) {
    return false;
  }
  std::string_view first_line = in.peek_start();
  first_line = first_line.substr(0, first_line.find('\n'));
  const FrameRate clock = timing.clock.rate;
  return format.own_rate(first_line, rate) && rate.num * clock.den != clock.num * rate.den;
}

}  // namespace

RewriteOutcome rewrite_into(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts, PendingOutput& out, const std::string& charset) {
  counts = RewriteCounts{};
  TextReader in;
  // Every line keeps the line end it was read with.
  in.set_keep_crlf(true);
  in.set_charset(charset);
  if (is_standard_stream(in_path)) {
    in.open_standard_input();
  } else if (!in.open(in_path)) {
    report_input_failure(in_format, in_path, log);
    return RewriteOutcome::InputMissing;
  }
  if (in.charset_unknown()) {
    log(LogLevel::Error, "not written: %s: no character set is named %s\n",
        input_name(in_path).c_str(), charset.c_str());
    return RewriteOutcome::Failed;
  }
  const SubtitleFormat* read_as = nullptr;
  const SubtitleFormat* write_as = nullptr;
  if (!resolve_formats(in_format, out_format, in, read_as, write_as)) {
    log(LogLevel::Error, "not written: %s cannot hold the %s subtitles of %s\n", out_path.c_str(),
        read_as->label, input_name(in_path).c_str());
    return RewriteOutcome::Failed;
  }
  FrameRate named_rate{};
  if (pipe_names_other_rate(*read_as, in_path, in, timing, named_rate)) {
    log(LogLevel::Error,
        "not written: %s names the frame rate %s in its first line, read only after the "
        "clock was set: name it with -rate\n",
        input_name(in_path).c_str(), frame_rate_line(constant_clock(named_rate)).c_str());
    return RewriteOutcome::Failed;
  }
  out.written_as = write_as;
  // The output goes beside its target and replaces it only when complete,
  // so an output named like the input re-times the input in place.
  OutputFile& file = out.file;
  if (is_standard_stream(out_path)) {
    file.open_standard_output();
  } else if (!file.open(out_path)) {
    report_output_failure(*write_as, out_path, FileAction::Open, file, log);
    return RewriteOutcome::Failed;
  }
  counts = rewrite_lines(*read_as, *write_as, in, map, timing, file);
  // A file that could not be read to its end must not replace the target
  // with a shortened copy.
  const bool complete = !in.read_failed();
  const std::int64_t non_utf8_line = in.first_non_utf8_line();
  const std::int64_t not_in_charset_line = in.first_charset_error_line();
  const int read_error = in.error_number();
  in.close();
  if (!complete) {
    file.discard();
    const std::string role = std::string("input ") + read_as->label;
    report_file_failure(log, FileFailure{role, FileAction::Read, message_base(in_path),
                                         input_name(in_path), read_error});
    return RewriteOutcome::Failed;
  }
  // Reading stopped at the byte: what was written is only the text before it.
  if (not_in_charset_line != 0) {
    file.discard();
    log(LogLevel::Error, "not written: %s is not %s (line %lld)\n", input_name(in_path).c_str(),
        charset.c_str(), static_cast<long long>(not_in_charset_line));
    return RewriteOutcome::Failed;
  }
  if (non_utf8_line != 0) {
    file.discard();
    log(LogLevel::Error, "not written: %s: WebVTT must be UTF-8, %s is not (line %lld)\n",
        out_path.c_str(), input_name(in_path).c_str(), static_cast<long long>(non_utf8_line));
    return RewriteOutcome::Failed;
  }
  if (nothing_retimed(counts)) {
    file.discard();
    log(LogLevel::Error, "no times could be read in %s (first: line %d)\n",
        input_name(in_path).c_str(), counts.unread.first_line);
    return RewriteOutcome::NothingRetimed;
  }
  if (!counts.unread.empty()) {
    log(LogLevel::Warning, "%d lines of %s were not re-timed (first: line %d)\n",
        counts.unread.count, input_name(in_path).c_str(), counts.unread.first_line);
  }
  if (counts.left_out.any()) {
    log(LogLevel::Warning, "converting %s to %s left out %s\n", input_name(in_path).c_str(),
        is_standard_stream(out_path) ? "standard output" : out_path.c_str(),
        describe_losses(counts.left_out).c_str());
  }
  return RewriteOutcome::Written;
}

void report_output_failure(const PendingOutput& out, const std::string& out_path, const Log& log) {
  report_output_failure(out.written_as != nullptr ? *out.written_as : kFromContent, out_path,
                        FileAction::Write, out.file, log);
}

RewriteOutcome rewrite_file(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts, const std::string& charset) {
  PendingOutput out;
  const RewriteOutcome outcome = rewrite_into(in_format, in_path, out_format, out_path, map, timing,
                                              log, counts, out, charset);
  if (outcome != RewriteOutcome::Written) return outcome;
  if (!out.file.commit()) {
    report_output_failure(out, out_path, log);
    return RewriteOutcome::Failed;
  }
  return RewriteOutcome::Written;
}

RewriteOutcome rewrite_text(const SubtitleFormat& in_format, std::string_view input,
                            const SubtitleFormat& out_format, const CutMap& map,
                            const Timing& timing, RewriteCounts& counts, std::string& output) {
  counts = RewriteCounts{};
  output.clear();
  TextReader in;
  in.set_keep_crlf(true);
  in.open_memory(input);
  const SubtitleFormat* read_as = nullptr;
  const SubtitleFormat* write_as = nullptr;
  if (!resolve_formats(in_format, out_format, in, read_as, write_as)) return RewriteOutcome::Failed;
  output.reserve(input.size());
  OutputFile file;
  file.open_string(output);
  counts = rewrite_lines(*read_as, *write_as, in, map, timing, file);
  if (in.first_non_utf8_line() != 0) {
    file.discard();
    output.clear();
    return RewriteOutcome::Failed;
  }
  if (nothing_retimed(counts)) {
    file.discard();
    output.clear();
    return RewriteOutcome::NothingRetimed;
  }
  file.commit();
  return RewriteOutcome::Written;
}

}  // namespace mendra
