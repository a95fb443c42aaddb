#include "util/settings.h"

namespace mendra {

void reset_settings(RunSettings& settings) {
  settings = RunSettings{};
}

}  // namespace mendra
