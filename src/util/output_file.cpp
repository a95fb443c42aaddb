#include "util/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace mendra {
namespace {
constexpr std::size_t kWriteBufferBytes = std::size_t{256} * 1024;
constexpr int kNameAttempts = 100;
// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxLinkHops = 40;
constexpr mode_t kPermissionBits = 07777;

}  // namespace

// Writing over a linked subtitle replaces the file it points to, and the
// link stays a link.
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

namespace {

// The temporary files open at this moment, for the signal handler. A
// handler may only touch plain memory and call async-signal-safe functions,
// so the paths are held in fixed arrays; a slot is taken by copying the path
// in and then marking it used, and given up by unmarking it. This one table
// is shared by the whole process because a signal is.
constexpr int kRegistrySlots = 16;
constexpr std::size_t kRegistryPathBytes = 4096;
struct TempRegistry {
  std::atomic<bool> used[kRegistrySlots] = {};
  char paths[kRegistrySlots][kRegistryPathBytes] = {};
};
TempRegistry g_temp_registry;  // NOLINT: shared with the signal handler
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_temporary_files(int signal_number) {
  for (int slot = 0; slot < kRegistrySlots; ++slot) {
    if (g_temp_registry.used[slot].load()) ::unlink(g_temp_registry.paths[slot]);
  }
  // Dies of the signal as it would have without us: the default action,
  // delivered as soon as this handler returns and unblocks it.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  raise(signal_number);
}

// Installs the handler once, for the signals that are not ignored (a run
// under nohup keeps ignoring SIGHUP).
void install_cleanup_handlers() {
  static const bool installed = [] {
    for (const int signal_number : kCleanedSignals) {
      struct sigaction current {};
      if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
        continue;
      }
      struct sigaction action {};
      action.sa_handler = remove_temporary_files;
      sigemptyset(&action.sa_mask);
      for (const int other : kCleanedSignals) sigaddset(&action.sa_mask, other);
      sigaction(signal_number, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// A slot holding `path`, or -1 when all are taken or the path is too long
// (the file is then left behind by a signal, as before).
int register_temporary(const std::string& path) {
  install_cleanup_handlers();
  if (path.size() >= kRegistryPathBytes) return -1;
  for (int slot = 0; slot < kRegistrySlots; ++slot) {
    if (g_temp_registry.used[slot].load()) continue;
    std::memcpy(g_temp_registry.paths[slot], path.c_str(), path.size() + 1);
    g_temp_registry.used[slot].store(true);
    return slot;
  }
  return -1;
}

void unregister_temporary(int& slot) {
  if (slot >= 0) g_temp_registry.used[slot].store(false);
  slot = -1;
}

}  // namespace

void OutputFile::open_standard_output() {
  discard();
  target_kind_ = Target::StandardOutput;
  error_number_ = 0;
  encoding_ = TextEncoding::Utf8;
  fd_ = STDOUT_FILENO;
  failed_ = false;
  wrote_out_ = false;
  buffer_.resize(kHeldOutputBytes);
  used_ = 0;
}

void OutputFile::open_string(std::string& text) {
  discard();
  target_kind_ = Target::String;
  text_ = &text;
  error_number_ = 0;
  encoding_ = TextEncoding::Utf8;
  // Not a descriptor: it only marks the writer open.
  fd_ = 0;
  failed_ = false;
  buffer_.resize(kWriteBufferBytes);
  used_ = 0;
}

bool OutputFile::open(const std::string& requested_target) {
  discard();
  target_kind_ = Target::File;
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
    registry_slot_ = register_temporary(temp_path_);
    failed_ = false;
    buffer_.resize(kWriteBufferBytes);
    used_ = 0;
    return true;
  }
  error_number_ = EEXIST;
  return false;
}

bool OutputFile::write_all(const char* data, std::size_t size) {
  if (target_kind_ == Target::String) {
    text_->append(data, size);
    return true;
  }
  if (size > 0 && target_kind_ == Target::StandardOutput) wrote_out_ = true;
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

// Everything held back, and the encoder's last bytes; false when any
// write failed.
bool OutputFile::flush_to_end() {
  bool ok = !failed_ && flush();
  if (ok && encoding_ != TextEncoding::Utf8) {
    encoded_.clear();
    encoder_.finish(encoded_);
    ok = write_all(encoded_.data(), encoded_.size());
  }
  return ok;
}

bool OutputFile::finish_file() {
  if (fd_ < 0) return false;
  bool ok = flush_to_end();
  if (::close(fd_) != 0) {
    if (ok) error_number_ = errno;
    ok = false;
  }
  fd_ = -1;
  // Complete but not in place: discard still removes it.
  if (!ok) discard();
  return ok;
}

bool OutputFile::finish_stream() {
  if (fd_ < 0) return false;
  bool ok = flush_to_end();
  // Standard output stays open for whatever the process writes next.
  fd_ = -1;
  text_ = nullptr;
  return ok;
}

bool OutputFile::replace_target(bool keep_old) {
  created_ = false;
  if (keep_old) {
    struct stat info {};
    if (lstat(target_.c_str(), &info) != 0) {
      created_ = true;
    } else {
      // A second name for the file about to be replaced, beside it, so a
      // later failure of the group can put it back. Where the file system
      // has no links, the group goes on without that safeguard.
      for (int attempt = 0; attempt < kNameAttempts && old_path_.empty(); ++attempt) {
        std::string old =
            target_ + ".mendra-" + std::to_string(getpid()) + "-old" + std::to_string(attempt);
        if (::link(target_.c_str(), old.c_str()) == 0) {
          old_path_ = std::move(old);
          old_slot_ = register_temporary(old_path_);
        } else if (errno != EEXIST) {
          break;
        }
      }
    }
  }
  if (std::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    error_number_ = errno;
    drop_old();
    created_ = false;
    discard();
    return false;
  }
  unregister_temporary(registry_slot_);
  temp_path_.clear();
  return true;
}

void OutputFile::take_back() {
  if (!old_path_.empty()) {
    (void)std::rename(old_path_.c_str(), target_.c_str());
    old_path_.clear();
    unregister_temporary(old_slot_);
  } else if (created_) {
    ::unlink(target_.c_str());
  }
  created_ = false;
}

void OutputFile::drop_old() {
  if (!old_path_.empty()) ::unlink(old_path_.c_str());
  old_path_.clear();
  unregister_temporary(old_slot_);
  created_ = false;
}

bool OutputFile::commit() {
  OutputFile* self = this;
  return commit_together(std::span(&self, 1)) == 1;
}

void OutputFile::discard() {
  if (target_kind_ != Target::File) {
    fd_ = -1;
    used_ = 0;
    text_ = nullptr;
    return;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (temp_path_.empty()) return;
  ::unlink(temp_path_.c_str());
  unregister_temporary(registry_slot_);
  temp_path_.clear();
}

std::size_t commit_together(std::span<OutputFile* const> files) {
  const auto give_up = [&](std::size_t failed) {
    for (OutputFile* file : files) file->discard();
    return failed;
  };
  using Target = OutputFile::Target;
  std::size_t file_count = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i]->target_kind_ != Target::File) continue;
    if (!files[i]->finish_file()) return give_up(i);
    ++file_count;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i]->target_kind_ != Target::File && !files[i]->finish_stream()) return give_up(i);
  }
  // One rename replaces its target whole or not at all: only the targets
  // replaced before the last rename need a way back.
  std::size_t renamed = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    OutputFile& file = *files[i];
    if (file.target_kind_ != Target::File) continue;
    if (!file.replace_target(renamed + 1 < file_count)) {
      for (std::size_t j = 0; j < i; ++j) files[j]->take_back();
      return give_up(i);
    }
    ++renamed;
  }
  for (OutputFile* file : files) file->drop_old();
  return files.size();
}

}  // namespace mendra
