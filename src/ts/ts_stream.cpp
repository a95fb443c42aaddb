#include "ts/ts_stream.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

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
volatile std::sig_atomic_t g_mapped = 0;  // NOLINT: windows are mapped now

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

// The windows of a regular file are mapped, so that its bytes are read
// where the page cache holds them instead of being copied out first. Mapping
// a page costs the kernel about as much as the walk spends on its bytes, so
// a second thread maps the windows after the walk's own while the walk
// works, and unmaps those the walk has left. It only ever works ahead of
// the walk: a window the walk has been handed stays mapped until the walk
// asks for the next one. A walk that goes back, or skips further ahead
// than the mapped windows reach, sets the mapper on at the new position.
struct MapAhead {
  // Three windows: the walk's own, the next one ready, and one being
  // mapped. Mapped pages count as the process's memory.
  static constexpr std::size_t kWindows = 3;
  // A first touch of a page maps its neighbours in the page cache with it,
  // this many bytes of them on a common kernel; touching one byte in each
  // such stretch maps the window for less than asking for every page
  // (MAP_POPULATE) does. Pages it leaves out are mapped when the walk
  // touches them.
  static constexpr std::size_t kTouchStride = std::size_t{64} * 1024;
  struct Window {
    std::int64_t start = 0;  // file offset of bytes[0]
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;  // 0: the file ends at `start`, or it cannot be mapped
    bool failed = false;     // the mapping was refused
    void* mapping = nullptr;
    std::size_t mapping_bytes = 0;
  };

  int fd = -1;
  std::array<Window, kWindows> windows{};

  std::mutex mutex;
  std::condition_variable mapper_wakes;  // a window to unmap, room for one, or a new position
  std::condition_variable walk_wakes;    // a window is mapped
  // Windows are counted since the mapper started: it maps window
  // `mapped % kWindows`; the walk takes window `taken`, gives back all below
  // `given_back`; the mapper has unmapped all below `unmapped`.
  std::uint64_t mapped = 0;
  std::uint64_t taken = 0;
  std::uint64_t given_back = 0;
  std::uint64_t unmapped = 0;
  std::int64_t next_start = 0;  // where the next window begins
  std::uint64_t round = 0;      // raised each time the mapper is set on
  bool at_end = false;          // the mapper met the end and waits
  bool stop = false;
  std::thread thread;

  // Maps the window that holds `start`, sized by the file as it is now:
  // pages past the end of a file cut short since would kill the process
  // when touched.
  Window map_window(std::int64_t start) const {
    Window w;
    w.start = start;
    struct stat info {};
    if (fstat(fd, &info) != 0 || start >= static_cast<std::int64_t>(info.st_size)) return w;
    static const auto page = static_cast<std::int64_t>(sysconf(_SC_PAGESIZE));
    const std::int64_t aligned = start - start % page;
    const auto bytes = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(kTsStreamBufferBytes),
                               static_cast<std::int64_t>(info.st_size) - aligned));
    void* mapping = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(aligned));
    if (mapping == MAP_FAILED) {
      w.failed = true;
      return w;
    }
    const volatile std::uint8_t* const touched = static_cast<const std::uint8_t*>(mapping);
    for (std::size_t at = 0; at < bytes; at += kTouchStride) (void)touched[at];
    w.mapping = mapping;
    w.mapping_bytes = bytes;
    const auto skipped = static_cast<std::size_t>(start - aligned);
    w.bytes = static_cast<const std::uint8_t*>(mapping) + skipped;
    w.length = bytes - skipped;
    return w;
  }

  void run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      mapper_wakes.wait(lock, [this] {
        return stop || unmapped < given_back || (!at_end && mapped - unmapped < kWindows);
      });
      if (unmapped < given_back) {
        Window& old = windows[unmapped % kWindows];
        void* mapping = old.mapping;
        const std::size_t bytes = old.mapping_bytes;
        old.mapping = nullptr;
        ++unmapped;
        lock.unlock();
        if (mapping != nullptr) munmap(mapping, bytes);
        lock.lock();
        continue;
      }
      if (stop) return;
      const std::uint64_t my_round = round;
      const std::int64_t start = next_start;
      lock.unlock();
      Window w = map_window(start);
      lock.lock();
      if (my_round != round) {
        // Set on elsewhere meanwhile: this window is not wanted.
        if (w.mapping != nullptr) munmap(w.mapping, w.mapping_bytes);
        continue;
      }
      if (w.length == 0) {
        at_end = true;
      } else {
        next_start = w.start + static_cast<std::int64_t>(w.length);
      }
      windows[mapped % kWindows] = w;
      ++mapped;
      walk_wakes.notify_one();
    }
  }

  // Under the lock: gives back every window mapped and sets the mapper on
  // at `position`.
  void set_on(std::int64_t position) {
    ++round;
    taken = given_back = mapped;
    next_start = position;
    at_end = false;
    mapper_wakes.notify_one();
  }

  // The window holding `position`, its bytes from there on; empty at the
  // end of the file (with `failed` set when the file cannot be mapped). The
  // window handed out before is given back.
  std::span<const std::uint8_t> window_at(std::int64_t position, bool& failed) {
    std::unique_lock<std::mutex> lock(mutex);
    if (given_back != taken) {
      given_back = taken;
      mapper_wakes.notify_one();
    }
    constexpr auto reach = static_cast<std::int64_t>(kWindows * kTsStreamBufferBytes);
    for (;;) {
      if (taken < mapped) {
        const Window& w = windows[taken % kWindows];
        const std::int64_t end = w.start + static_cast<std::int64_t>(w.length);
        if (w.length == 0 && position >= w.start) {
          if (w.failed) {
            failed = true;
            return {};
          }
          // The end, unless the recording has grown since the mapper met it.
          struct stat info {};
          if (fstat(fd, &info) != 0 || info.st_size <= position) return {};
          set_on(position);
        } else if (position < w.start) {
          set_on(position);
        } else if (position >= end) {
          // Skipped over whole.
          given_back = ++taken;
          mapper_wakes.notify_one();
        } else {
          const auto offset = static_cast<std::size_t>(position - w.start);
          ++taken;
          return {w.bytes + offset, w.length - offset};
        }
        continue;
      }
      if (position < next_start || position >= next_start + reach) set_on(position);
      walk_wakes.wait(lock, [this] { return taken < mapped; });
    }
  }

  // Stops the mapper and unmaps every window.
  void finish() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stop = true;
      // A window being mapped now is not wanted either.
      ++round;
      given_back = mapped;
    }
    mapper_wakes.notify_one();
    thread.join();
  }
};

TsStream::TsStream() = default;

TsStream::~TsStream() {
  close();
}

bool TsStream::open(const std::string& path) {
  close();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  // Our own window does the buffering; a second one in stdio would only
  // copy every byte twice.
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  struct stat info {};
  if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode)) {
    auto mapper = std::make_unique<MapAhead>();
    mapper->fd = fileno(f);
    watch_mapped_stream(path);
    g_mapped = 1;
    try {
      mapper->thread = std::thread([m = mapper.get()] { m->run(); });
      map_ahead_ = std::move(mapper);
    } catch (const std::system_error&) {
      // No thread to be had: the windows are read when the walk gets there.
      g_mapped = 0;
    }
  }
  window_ = nullptr;
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
  return true;
}

void TsStream::stop_mapping() {
  if (map_ahead_ == nullptr) return;
  map_ahead_->finish();
  map_ahead_.reset();
  g_mapped = 0;
}

void TsStream::close() {
  stop_mapping();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  buffer_.clear();
  buffer_.shrink_to_fit();
  window_ = nullptr;
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
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
  if (map_ahead_ != nullptr) {
    bool failed = false;
    const std::span<const std::uint8_t> bytes = map_ahead_->window_at(position, failed);
    window_ = bytes.data();
    len_ = bytes.size();
    if (!failed) return len_ > 0;
    // The mapping was refused: reading takes over.
    stop_mapping();
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
