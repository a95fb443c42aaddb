#include "util/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace mendra {
namespace {
constexpr std::size_t kReadPieceBytes = std::size_t{64} * 1024;
}  // namespace

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

bool is_piped_file(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool read_whole_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  char piece[kReadPieceBytes];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, f)) > 0;) bytes.append(piece, n);
  const bool complete = std::ferror(f) == 0;
  std::fclose(f);
  return complete;
}

std::string absolute_path(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

int open_error_number(const std::string& path) {
  // Asked of the file system, not by opening: a named pipe opened only to
  // look at it would lose what its writer sent, or wait for a writer that
  // has already gone.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) return errno;
  return 0;
}

std::string open_failure_reason(const std::string& path) {
  const int error_number = open_error_number(path);
  return error_number == 0 ? "" : std::strerror(error_number);
}

}  // namespace mendra
