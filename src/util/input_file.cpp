#include "util/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace mendra {

std::FILE* open_input_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  struct stat info {};
  if (fstat(fileno(f), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return nullptr;
  }
  return f;
}

std::string absolute_path(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

int open_error_number(const std::string& path) {
  std::FILE* f = open_input_file(path);
  if (f != nullptr) {
    std::fclose(f);
    return 0;
  }
  return errno;
}

std::string open_failure_reason(const std::string& path) {
  const int error_number = open_error_number(path);
  return error_number == 0 ? "" : std::strerror(error_number);
}

}  // namespace mendra
