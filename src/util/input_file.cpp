#include "util/input_file.h"

#include <sys/stat.h>

namespace mendra {

std::FILE* open_input_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  struct stat info {};
  if (fstat(fileno(f), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

}  // namespace mendra
