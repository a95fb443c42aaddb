// read_cut_list on arbitrary bytes: the first byte picks the kind (modulo
// the number of kinds), the rest is the list, read from memory.
#include <cstddef>
#include <cstdint>

#include "cutlist/cut_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  constexpr int kKinds = static_cast<int>(CutListKind::Count);
  if (size == 0) return 0;
  const auto kind = static_cast<CutListKind>(data[0] % kKinds);
  RunSettings settings = fuzz::tracing_settings();
  CutMap map;
  read_cut_list_bytes(fuzz::as_text(data + 1, size - 1), kind, map, settings);
  return 0;
}
