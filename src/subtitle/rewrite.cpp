#include "subtitle/rewrite.h"

#include <cstdio>

#include "subtitle/line_rewriter.h"

namespace mendra {
namespace {

constexpr int kCentisecondMs = 10;

// ASS before SRT: the order in which an input of another extension (a
// stream, a project) has its subtitles re-timed, and so of their messages.
constexpr SubtitleFormat kFormats[] = {
    {".ass", "ass", kCentisecondMs, rewrite_ass_lines},
    {".srt", "srt", 1, rewrite_srt_lines},
};

}  // namespace

std::span<const SubtitleFormat> subtitle_formats() {
  return kFormats;
}

const SubtitleFormat* find_subtitle_format(std::string_view extension) {
  for (const SubtitleFormat& format : kFormats) {
    if (extension == format.extension) return &format;
  }
  return nullptr;
}

RewriteOutcome rewrite_file(const SubtitleFormat& format, const std::string& input_base,
                            const std::string& output_base, const CutMap& map,
                            const RunSettings& settings) {
  TextReader in;
  if (!in.open(input_base + format.extension)) {
    settings.log_error(stderr, "input %s open error: %s\n", format.label, input_base.c_str());
    return RewriteOutcome::InputMissing;
  }
  // The output goes beside its target and replaces it only when complete,
  // so an output named like the input re-times the input in place.
  OutputFile file;
  if (!file.open(output_base + format.extension)) {
    settings.log_error(stderr, "output %s open error: %s\n", format.label, output_base.c_str());
    return RewriteOutcome::Failed;
  }
  const RemapTable table = make_remap_table(map);
  LineSink out{&file, nullptr};
  format.rewrite_lines(in, LineContext{table, settings}, out);
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
    return RewriteOutcome::Failed;
  }
  return RewriteOutcome::Written;
}

std::string rewrite_text(const SubtitleFormat& format, std::string_view input, const CutMap& map,
                         const RunSettings& settings) {
  TextReader in;
  in.open_memory(input);
  std::string text;
  text.reserve(input.size());
  const RemapTable table = make_remap_table(map);
  LineSink out{nullptr, &text};
  format.rewrite_lines(in, LineContext{table, settings}, out);
  return text;
}

}  // namespace mendra
