#include "subtitle/rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "subtitle/line_rewriter.h"
#include "util/input_file.h"

namespace mendra {
namespace {

constexpr int kCentisecondMs = 10;
// U+FEFF: written in front of a UTF-16 text, it becomes the file's mark.
constexpr std::string_view kUtf8Mark = kUtf8ByteOrderMark;

// ASS before SRT: the order in which an input of another extension (a
// stream, a project) has its subtitles re-timed, and so of their messages.
// WebVTT is re-timed only when named: an input of another extension does
// not look for it, so that its runs and messages stay as they were.
constexpr SubtitleFormat kFormats[] = {
    {".ass", "ass", kCentisecondMs, rewrite_ass_lines},
    {".srt", "srt", 1, rewrite_srt_lines},
    {".vtt", "vtt", 1, rewrite_vtt_lines},
};
// The leading rows that an input of another extension re-times.
constexpr std::size_t kFormatsForOtherExtensions = 2;

}  // namespace

std::span<const SubtitleFormat> subtitle_formats() {
  return std::span(kFormats).first<kFormatsForOtherExtensions>();
}

const SubtitleFormat* find_subtitle_format(std::string_view extension) {
  // Windows names files in any case: MOVIE.ASS is an .ass file.
  const auto same_letters = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  for (const SubtitleFormat& format : kFormats) {
    if (std::ranges::equal(extension, std::string_view(format.extension), same_letters)) {
      return &format;
    }
  }
  return nullptr;
}

namespace {

// Follows an open error on an input with its full path and the system's
// reason, when the file itself could not be opened.
void report_input_failure(const std::string& path, const RunSettings& settings) {
  const std::string reason = open_failure_reason(path);
  if (reason.empty()) return;
  settings.log_error(stderr, "\t%s: %s\n", absolute_path(path).c_str(), reason.c_str());
}

void report_output_failure(const std::string& path, const OutputFile& file,
                           const RunSettings& settings) {
  if (file.error_number() == 0) return;
  settings.log_error(stderr, "\t%s: %s\n", absolute_path(path).c_str(),
                     std::strerror(file.error_number()));
}

// Runs the format's rewriter over `in`: a UTF-16 text reads as UTF-8 and
// gets its mark back in front, to be written in its own encoding.
void rewrite_lines(const SubtitleFormat& format, TextReader& in, const CutMap& map,
                   const RunSettings& settings, LineSink& out) {
  if (in.encoding() != TextEncoding::Utf8) out.write(kUtf8Mark);
  const RemapTable table = make_remap_table(map, run_frame_clock(settings));
  format.rewrite_lines(in, LineContext{table, settings}, out);
}

}  // namespace

RewriteOutcome rewrite_file(const SubtitleFormat& format, const std::string& input_base,
                            const std::string& output_base, const CutMap& map,
                            const RunSettings& settings, std::string_view extension) {
  if (extension.empty()) extension = format.extension;
  const std::string input_path = input_base + std::string(extension);
  const std::string output_path = output_base + std::string(extension);
  TextReader in;
  // Every line keeps the line end it was read with.
  in.set_keep_crlf(true);
  if (!in.open(input_path)) {
    settings.log_error(stderr, "input %s open error: %s\n", format.label, input_base.c_str());
    report_input_failure(input_path, settings);
    return RewriteOutcome::InputMissing;
  }
  // The output goes beside its target and replaces it only when complete,
  // so an output named like the input re-times the input in place.
  OutputFile file;
  if (!file.open(output_path)) {
    settings.log_error(stderr, "output %s open error: %s\n", format.label, output_base.c_str());
    report_output_failure(output_path, file, settings);
    return RewriteOutcome::Failed;
  }
  file.set_encoding(in.encoding());
  LineSink out{&file, nullptr};
  rewrite_lines(format, in, map, settings, out);
  // A file that could not be read to its end must not replace the target
  // with a shortened copy.
  const bool complete = !in.read_failed();
  in.close();
  if (!complete) {
    settings.log_error(stderr, "input %s open error: %s\n", format.label, input_base.c_str());
    return RewriteOutcome::Failed;
  }
  if (!file.commit()) {
    settings.log_error(stderr, "output %s open error: %s\n", format.label, output_base.c_str());
    report_output_failure(output_path, file, settings);
    return RewriteOutcome::Failed;
  }
  if (out.not_retimed > 0) {
    settings.log_error(stderr, "warning: %d lines of %s were not re-timed (first: line %d)\n",
                       out.not_retimed, input_path.c_str(), out.first_not_retimed);
  }
  return RewriteOutcome::Written;
}

std::string rewrite_text(const SubtitleFormat& format, std::string_view input, const CutMap& map,
                         const RunSettings& settings, NotRetimed* not_retimed) {
  TextReader in;
  in.set_keep_crlf(true);
  in.open_memory(input);
  std::string text;
  text.reserve(input.size());
  LineSink out{nullptr, &text};
  rewrite_lines(format, in, map, settings, out);
  if (not_retimed != nullptr) *not_retimed = NotRetimed{out.not_retimed, out.first_not_retimed};
  if (in.encoding() == TextEncoding::Utf8) return text;
  return encode_utf16(text, in.encoding());
}

}  // namespace mendra
