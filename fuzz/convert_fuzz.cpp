// Every reader of cues on an arbitrary buffer, written by every other
// format's writer, through a cut map with a few kept ranges and a delay;
// and the buffer decoded as a multibyte character set, as -charset reads it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "subtitle/rewrite.h"
#include "time/cut_map.h"
#include "util/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  static const char* const kExtensions[] = {".ass", ".srt", ".vtt", ".ssa", ".sub"};
  Timing timing;
  timing.delay_ms = -1500;
  // Kept frames 100..199 and 300..399.
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  RewriteCounts counts;
  std::string output;
  const std::string_view text = fuzz::as_text(data, size);
  for (const char* in : kExtensions) {
    for (const char* out : kExtensions) {
      if (in == out) continue;
      rewrite_text(*find_subtitle_format(in), text, *find_subtitle_format(out), map, timing, counts,
                   output);
    }
  }
  std::string decoded;
  std::int64_t bad_line = 0;
  decode_charset(text, "CP932", decoded, bad_line);
  return 0;
}
