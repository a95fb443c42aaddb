// read_cut_list on arbitrary bytes: the first byte picks the kind (0 to 6),
// the rest is the file.
#include <cstddef>
#include <cstdint>

#include "cutlist/cut_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  constexpr int kKinds = DelList + 1;
  if (size == 0) return 0;
  const int kind = data[0] % kKinds;
  const auto path = fuzz::process_temp_dir() / "cut.txt";
  fuzz::write_bytes(path, fuzz::as_text(data + 1, size - 1));
  RunSettings settings = fuzz::tracing_settings();
  CutMap map;
  read_cut_list(path.string(), kind, map, settings);
  return 0;
}
