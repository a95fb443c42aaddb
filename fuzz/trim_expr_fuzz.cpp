// eval_trim_expr on arbitrary text, as it would meet a Trim argument.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cutlist/trim_expr.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mendra;
  std::string text(fuzz::as_text(data, size));
  eval_trim_expr(text, fuzz::tracing_log());
  return 0;
}
