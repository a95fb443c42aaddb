#include "ts/ts_stream.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "util/input_file.h"

namespace mendra {

// Offsets beyond 2 GiB must reach the seek and map calls unharmed.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

namespace {

// A recording that another process cuts short while one of its windows is
// mapped takes that window's pages away, and the next read of them raises
// SIGBUS. The handler says which stream it was and ends the run with the
// status of a failed input, instead of the crash the signal would be. It
// may only touch plain memory and call async-signal-safe functions, so the
// path is kept in a fixed array. The measurement runs before any output is
// opened, so no temporary file is left behind.
constexpr std::size_t kShownPathBytes = 4096;
char g_mapped_path[kShownPathBytes];      // NOLINT: read by the signal handler
std::size_t g_mapped_path_length = 0;     // NOLINT: read by the signal handler
volatile std::sig_atomic_t g_mapped = 0;  // NOLINT: a window is mapped now

void write_error(const char* text, std::size_t length) {
  if (::write(STDERR_FILENO, text, length) < 0) return;
}

extern "C" void stream_cut_short(int signal_number) {
  if (g_mapped == 0) {
    // Not ours: die of it as the process would have.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return;
  }
  static const char kMessage[] = "stream cut short while it was read: ";
  write_error(kMessage, sizeof kMessage - 1);
  write_error(g_mapped_path, g_mapped_path_length);
  write_error("\n", 1);
  _exit(1);
}

void watch_mapped_stream(const std::string& path) {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = stream_cut_short;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
    return true;
  }();
  (void)installed;
  g_mapped_path_length = std::min(path.size(), kShownPathBytes);
  std::memcpy(g_mapped_path, path.data(), g_mapped_path_length);
}

}  // namespace

bool TsStream::open(const std::string& path) {
  close();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  // Our own window does the buffering; a second one in stdio would only
  // copy every byte twice.
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  struct stat info {};
  mapped_ = fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode);
  file_size_ = mapped_ ? static_cast<std::int64_t>(info.st_size) : 0;
  if (mapped_) watch_mapped_stream(path);
  window_ = nullptr;
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
  return true;
}

void TsStream::close() {
  unmap();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  mapped_ = false;
  buffer_.clear();
  buffer_.shrink_to_fit();
  window_ = nullptr;
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
}

void TsStream::unmap() {
  g_mapped = 0;
  if (mapping_ != nullptr) munmap(mapping_, mapping_bytes_);
  mapping_ = nullptr;
  mapping_bytes_ = 0;
}

bool TsStream::map_window(std::int64_t position) {
  unmap();
  // Pages past the end of a file cut short since it was opened would kill
  // the process when touched: every window is sized by the file as it is
  // now (a file cut short while one window is read can still do so).
  struct stat info {};
  if (fstat(fileno(file_), &info) != 0) return false;
  file_size_ = static_cast<std::int64_t>(info.st_size);
  if (position >= file_size_) return false;
  static const auto page = static_cast<std::int64_t>(sysconf(_SC_PAGESIZE));
  const std::int64_t aligned = position - position % page;
  const auto bytes = static_cast<std::size_t>(std::min<std::int64_t>(
      static_cast<std::int64_t>(kTsStreamBufferBytes), file_size_ - aligned));
  // The pages are mapped at once, not fault by fault as the walk reaches
  // them.
  void* mapping = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(file_),
                       static_cast<off_t>(aligned));
  if (mapping == MAP_FAILED) return false;
  g_mapped = 1;
  mapping_ = mapping;
  mapping_bytes_ = bytes;
  const auto skipped = static_cast<std::size_t>(position - aligned);
  window_ = static_cast<const std::uint8_t*>(mapping) + skipped;
  len_ = bytes - skipped;
  return true;
}

bool TsStream::read_window(std::int64_t position) {
  if (buffer_.empty()) buffer_.resize(kTsStreamBufferBytes);
  window_ = buffer_.data();
  if (file_pos_ != position) {
    if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) return false;
    file_pos_ = position;
  }
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  file_pos_ += static_cast<std::int64_t>(len_);
  return len_ > 0;
}

bool TsStream::fill() {
  if (file_ == nullptr) return false;
  const std::int64_t position = tell();
  pos_ = len_ = 0;
  buffer_start_ = position;
  if (mapped_) {
    if (position >= file_size_) {
      // A recording still being written may have grown since.
      struct stat info {};
      if (fstat(fileno(file_), &info) != 0 || info.st_size <= file_size_) return false;
      file_size_ = static_cast<std::int64_t>(info.st_size);
    }
    if (map_window(position)) return true;
    // The mapping was refused: reading takes over.
    mapped_ = false;
  }
  return read_window(position);
}

int TsStream::read_byte_slow() {
  if (pos_ >= len_ && !fill()) return -1;
  return window_[pos_++];
}

std::size_t TsStream::read_slow(std::span<std::uint8_t> dst) {
  std::size_t done = 0;
  while (done < dst.size()) {
    if (pos_ >= len_ && !fill()) break;
    const std::size_t n = std::min(dst.size() - done, len_ - pos_);
    std::memcpy(dst.data() + done, window_ + pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

void TsStream::skip_slow(std::int64_t count) {
  if (count <= 0) return;
  if (count <= static_cast<std::int64_t>(len_ - pos_)) {
    pos_ += static_cast<std::size_t>(count);
    return;
  }
  // Beyond the window: the next read moves it there.
  buffer_start_ = tell() + count;
  pos_ = len_ = 0;
}

void TsStream::seek(std::int64_t position) {
  if (position >= buffer_start_ && position <= buffer_start_ + static_cast<std::int64_t>(len_)) {
    pos_ = static_cast<std::size_t>(position - buffer_start_);
    return;
  }
  buffer_start_ = position < 0 ? 0 : position;
  pos_ = len_ = 0;
}

}  // namespace mendra
