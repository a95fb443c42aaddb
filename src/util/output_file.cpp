#include "util/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mendra {
namespace {
constexpr std::size_t kWriteBufferBytes = std::size_t{64} * 1024;
constexpr int kNameAttempts = 100;
// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxLinkHops = 40;
constexpr mode_t kPermissionBits = 07777;

// The file a name finally refers to: a symbolic link is followed to its
// target (also when that does not exist yet), so that writing over a linked
// subtitle replaces the file it points to and the link stays a link.
std::string resolve_links(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0) + 256, '\0');
    const ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return path;
    link.resize(static_cast<std::size_t>(n));
    if (link.front() != '/') {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) link.insert(0, path, 0, slash + 1);
    }
    path = std::move(link);
  }
  return path;
}

}  // namespace

bool OutputFile::open(const std::string& requested_target) {
  discard();
  error_number_ = 0;
  encoding_ = TextEncoding::Utf8;
  const std::string target = resolve_links(requested_target);
  struct stat info {};
  const bool replaces = stat(target.c_str(), &info) == 0;
  if (replaces && S_ISDIR(info.st_mode)) {
    error_number_ = EISDIR;
    return false;
  }
  // A name of our own beside the target, so the rename stays on one file
  // system; O_EXCL makes sure no existing file is ever reused.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temp =
        target + ".mendra-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error_number_ = errno;
      return false;
    }
    // A file written over keeps its permission bits: a private subtitle
    // (mode 600) must not become readable by everyone.
    if (replaces) (void)fchmod(fd, info.st_mode & kPermissionBits);
    fd_ = fd;
    target_ = target;
    temp_path_ = std::move(temp);
    failed_ = false;
    buffer_.resize(kWriteBufferBytes);
    used_ = 0;
    return true;
  }
  error_number_ = EEXIST;
  return false;
}

bool OutputFile::write_all(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_number_ = written < 0 ? errno : EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool OutputFile::write_out(const char* data, std::size_t size) {
  if (encoding_ == TextEncoding::Utf8) return write_all(data, size);
  encoded_.clear();
  encoder_.encode(std::string_view(data, size), encoded_);
  return write_all(encoded_.data(), encoded_.size());
}

bool OutputFile::flush() {
  const bool ok = write_out(buffer_.data(), used_);
  used_ = 0;
  return ok;
}

void OutputFile::write_slow(std::string_view text) {
  if (fd_ < 0 || failed_ || text.empty()) return;
  if (!flush()) {
    failed_ = true;
    return;
  }
  // A piece larger than the buffer (a megabyte line) goes out directly.
  if (text.size() > buffer_.size()) {
    if (!write_out(text.data(), text.size())) failed_ = true;
    return;
  }
  std::memcpy(buffer_.data(), text.data(), text.size());
  used_ = text.size();
}

bool OutputFile::commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_ && flush();
  if (ok && encoding_ != TextEncoding::Utf8) {
    encoded_.clear();
    encoder_.finish(encoded_);
    ok = write_all(encoded_.data(), encoded_.size());
  }
  if (::close(fd_) != 0) {
    if (ok) error_number_ = errno;
    ok = false;
  }
  fd_ = -1;
  if (ok && std::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    error_number_ = errno;
    ok = false;
  }
  if (!ok) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  return ok;
}

void OutputFile::discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

}  // namespace mendra
