#include "util/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace mendra {

bool OutputFile::open(const std::string& target) {
  discard();
  struct stat info {};
  if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return false;
  // A name of our own beside the target, so the rename stays on one file
  // system; O_EXCL makes sure no existing file is ever reused.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp =
        target + ".mendra-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    target_ = target;
    temp_path_ = std::move(temp);
    failed_ = false;
    return true;
  }
  return false;
}

void OutputFile::write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool OutputFile::commit() {
  if (file_ == nullptr) return false;
  bool ok = !failed_ && std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok) ok = std::rename(temp_path_.c_str(), target_.c_str()) == 0;
  if (!ok) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  return ok;
}

void OutputFile::discard() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

}  // namespace mendra
