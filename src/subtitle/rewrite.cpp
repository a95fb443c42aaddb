#include "subtitle/rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "subtitle/line_rewriter.h"
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

// ASS before SRT: the order in which an input of another extension (a
// stream, a project) has its subtitles re-timed, and so of their messages.
// WebVTT and SSA are re-timed only when named: an input of another
// extension does not look for them, so that its runs and messages stay as
// they were.
constexpr SubtitleFormat kFormats[] = {
    {".ass", "ass", kCs, nullptr, rewrite_ass_lines},
    {".srt", "srt", kMs, ".vtt", rewrite_srt_lines},
    {".vtt", "vtt", kMs, ".srt", rewrite_vtt_lines},
    {".ssa", "ssa", kCs, nullptr, rewrite_ssa_lines},
};
// The leading rows that an input of another extension re-times.
constexpr std::size_t kFormatsForOtherExtensions = 2;
constexpr const SubtitleFormat& kAss = kFormats[0];
constexpr const SubtitleFormat& kSrt = kFormats[1];
constexpr const SubtitleFormat& kVtt = kFormats[2];
constexpr const SubtitleFormat& kSsa = kFormats[3];
constexpr SubtitleFormat kFromContent = {"", "subtitle", kMs, nullptr, nullptr};

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
  if (first_bytes.starts_with("[Script Info]")) {
    return names_ssa_v4(first_bytes) ? kSsa : kAss;
  }
  constexpr std::string_view kSignature = "WEBVTT";
  if (first_bytes.starts_with(kSignature)) {
    const std::string_view rest = first_bytes.substr(kSignature.size());
    if (rest.empty() || rest.front() == ' ' || rest.front() == '\t' || rest.front() == '\n' ||
        rest.front() == '\r') {
      return kVtt;
    }
  }
  return kSrt;
}

const SubtitleFormat& format_from_content() {
  return kFromContent;
}

bool can_write_as(const SubtitleFormat& in, const SubtitleFormat& out) {
  if (&in == &out) return true;
  return in.converts_to != nullptr && std::strcmp(in.converts_to, out.extension) == 0;
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

// Runs the reading format's rewriter over `in`: a UTF-16 text reads as
// UTF-8 and gets its mark back in front, to be written in its own encoding;
// WebVTT knows no other encoding than UTF-8, and is checked to be that.
RewriteCounts rewrite_lines(const SubtitleFormat& read_as, const SubtitleFormat& write_as,
                            TextReader& in, const CutMap& map, const Timing& timing,
                            OutputFile& file) {
  const bool keeps_encoding = !is_webvtt(write_as);
  if (!keeps_encoding) in.check_utf8();
  file.set_encoding(keeps_encoding ? in.encoding() : TextEncoding::Utf8);
  LineSink out{file, 0, {}};
  if (keeps_encoding && in.encoding() != TextEncoding::Utf8) out.write(kUtf8Mark);
  const TimePipeline pipeline = make_time_pipeline(map, timing);
  read_as.rewrite_lines(in, LineContext{pipeline, &read_as != &write_as}, out);
  return out.counts;
}

// Lines were meant to be re-timed and not one could be read: the input is
// not what its name says (another format, UTF-16 without a mark).
bool nothing_retimed(const RewriteCounts& counts) {
  return counts.retimed == 0 && counts.dropped == 0 && !counts.unread.empty();
}

}  // namespace

RewriteOutcome rewrite_into(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts, PendingOutput& out) {
  counts = RewriteCounts{};
  TextReader in;
  // Every line keeps the line end it was read with.
  in.set_keep_crlf(true);
  if (is_standard_stream(in_path)) {
    in.open_standard_input();
  } else if (!in.open(in_path)) {
    report_input_failure(in_format, in_path, log);
    return RewriteOutcome::InputMissing;
  }
  const SubtitleFormat* read_as = nullptr;
  const SubtitleFormat* write_as = nullptr;
  if (!resolve_formats(in_format, out_format, in, read_as, write_as)) {
    log(LogLevel::Error, "not written: %s cannot hold the %s subtitles of %s\n", out_path.c_str(),
        read_as->label, input_name(in_path).c_str());
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
  const int read_error = in.error_number();
  in.close();
  if (!complete) {
    file.discard();
    const std::string role = std::string("input ") + read_as->label;
    report_file_failure(log, FileFailure{role, FileAction::Read, message_base(in_path),
                                         input_name(in_path), read_error});
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
  return RewriteOutcome::Written;
}

void report_output_failure(const PendingOutput& out, const std::string& out_path, const Log& log) {
  report_output_failure(out.written_as != nullptr ? *out.written_as : kFromContent, out_path,
                        FileAction::Write, out.file, log);
}

RewriteOutcome rewrite_file(const SubtitleFormat& in_format, const std::string& in_path,
                            const SubtitleFormat& out_format, const std::string& out_path,
                            const CutMap& map, const Timing& timing, const Log& log,
                            RewriteCounts& counts) {
  PendingOutput out;
  const RewriteOutcome outcome =
      rewrite_into(in_format, in_path, out_format, out_path, map, timing, log, counts, out);
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
