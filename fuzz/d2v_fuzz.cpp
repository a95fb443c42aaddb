// read_d2v on an arbitrary project file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "ts/d2v.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  const auto path = fuzz::process_temp_dir() / "in.d2v";
  fuzz::write_bytes(path, fuzz::as_text(data, size));
  std::int64_t start_bytes = 0;
  std::string ts_base;
  read_d2v(path.string(), fuzz::tracing_log(), start_bytes, ts_base);
  return 0;
}
