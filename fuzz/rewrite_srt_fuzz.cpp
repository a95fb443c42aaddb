// rewrite_srt on an arbitrary subtitle file, through a cut map with a
// few kept ranges and a delay, so that dropping, moving and clamping all run.
#include <cstddef>
#include <cstdint>

#include "cutlist/cut_map.h"
#include "fuzz_support.h"
#include "subtitle/rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  const auto dir = fuzz::process_temp_dir();
  fuzz::write_bytes(dir / "in.srt", fuzz::as_text(data, size));
  RunSettings settings = fuzz::tracing_settings();
  settings.delay_ms = -1500;
  // Kept frames 100..199 and 300..399.
  const CutMap map = {-1, 99, 200, 299, 400, -1, -1};
  rewrite_srt((dir / "in").string(), (dir / "out").string(), map, settings);
  return 0;
}
