// Re-timing of subtitle files through the cut map and delays. Every format
// is one row of a table: its extension, its name in messages, the precision
// of its times and its line rewriter. The file and the buffer variants run
// the same line rewriters.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cutlist/cut_map.h"
#include "util/settings.h"

namespace mendra {

struct TextReader;
struct LineContext;
struct LineSink;

struct SubtitleFormat {
  const char* extension;  // ".ass": what the input and the output file end in
  const char* label;      // "ass": how the format's messages name it
  // Milliseconds per unit of the format's times: a delay applied on its own
  // is cut to a multiple of it (centiseconds for .ass).
  int delay_step_ms;
  // Re-times every line of `in` into `out`, with per-file state of its own.
  void (*rewrite_lines)(TextReader& in, const LineContext& context, LineSink& out);
};

// The formats an input of another extension is re-timed as, in that order:
// .ass and .srt. A .vtt input is re-timed only when named.
std::span<const SubtitleFormat> subtitle_formats();

// The format whose extension is `extension` in any case (".ass", ".ASS",
// ".vtt"), or nullptr.
const SubtitleFormat* find_subtitle_format(std::string_view extension);

enum class RewriteOutcome {
  Written,       // the output is in place
  InputMissing,  // the input could not be opened; nothing was written
  Failed,        // the output could not be written or the input not read to
                 // its end; the target is left as it was
};

// Reads input_base + extension and writes output_base + extension, where
// the extension is the one the input was named with (".ASS"), or the
// format's own when empty. Reports a failure on log_error naming the base
// without its extension, followed by the file's full path and the system's
// reason; lines that should have been re-timed but could not be read are
// counted in one warning.
RewriteOutcome rewrite_file(const SubtitleFormat& format, const std::string& input_base,
                            const std::string& output_base, const CutMap& map,
                            const RunSettings& settings, std::string_view extension = {});

// Lines copied unchanged because their times could not be read.
struct NotRetimed {
  int count = 0;
  int first_line = 0;  // from 1; 0 when there are none
};

// Re-times the bytes of a whole file held in memory and returns what the
// file variant would have written; `not_retimed`, when given, receives what
// the file variant's warning would say.
std::string rewrite_text(const SubtitleFormat& format, std::string_view input, const CutMap& map,
                         const RunSettings& settings, NotRetimed* not_retimed = nullptr);

}  // namespace mendra
