// Windowed binary reading of a transport stream. Recordings run to several
// GB and the packet walk reads a few bytes and skips the rest of every
// packet, so the stream is read through one window of its bytes: a skip
// inside the window only moves the index, a skip beyond it moves the window
// on the next read. A regular file is mapped a window at a time, so its
// bytes are read where the page cache holds them instead of being copied
// out first, and a second thread maps the windows ahead of the walk while
// it works on the current one; anything else (a pipe), or a file that
// cannot be mapped, is read into a buffer of our own. Memory stays
// constant whatever the stream size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace mendra {

// The window: a multiple of every page size in use, so that a window that
// begins at offset 0 is followed by windows at its multiples; large enough
// that handing one from thread to thread costs little next to walking it.
inline constexpr std::size_t kTsStreamBufferBytes = std::size_t{1024} * 1024;

// The thread that maps a regular file's windows (ts_stream.cpp).
struct MapAhead;

struct TsStream {
  TsStream();
  TsStream(const TsStream&) = delete;
  TsStream& operator=(const TsStream&) = delete;
  ~TsStream();

  // Opens the file for binary reading; false when it cannot be opened or is
  // a directory.
  bool open(const std::string& path);
  void close();
  bool is_open() const { return file_ != nullptr; }

  // Next byte (0 to 255), or -1 at the end of the file.
  int read_byte() {
    // Inline: the sync search and the header reads take every packet's
    // first bytes one at a time.
    if (pos_ < len_) return window_[pos_++];
    return read_byte_slow();
  }
  // Reads up to dst.size() bytes; returns how many arrived (fewer only at
  // the end of the file).
  std::size_t read(std::span<std::uint8_t> dst) {
    if (dst.size() <= len_ - pos_) {
      std::memcpy(dst.data(), window_ + pos_, dst.size());
      pos_ += dst.size();
      return dst.size();
    }
    return read_slow(dst);
  }
  // The next `count` bytes in place, consumed, when the buffer holds them
  // whole; otherwise an empty view and nothing consumed (read() then
  // delivers them). Valid until the next call on the stream.
  std::span<const std::uint8_t> view(std::size_t count) {
    if (count == 0 || count > len_ - pos_) return {};
    const auto bytes = std::span<const std::uint8_t>(window_ + pos_, count);
    pos_ += count;
    return bytes;
  }
  // The bytes the window holds from the current position on, not consumed;
  // empty when the next read has to move the window. Valid until the next
  // call on the stream.
  std::span<const std::uint8_t> peek() const { return {window_ + pos_, len_ - pos_}; }
  // Moves the window to the current position when it holds no byte from
  // there on; false at the end of the file.
  bool ensure_window() { return pos_ < len_ || fill(); }
  // Moves forward by `count` bytes from the current position, like a
  // relative seek: a skip beyond the end of the file succeeds and the next
  // read meets the end. A count below 1 does nothing.
  void skip(std::int64_t count) {
    if (count > 0 && count <= static_cast<std::int64_t>(len_ - pos_)) {
      pos_ += static_cast<std::size_t>(count);
    } else {
      skip_slow(count);
    }
  }
  // The current position, and a return to a position taken from tell().
  std::int64_t tell() const { return buffer_start_ + static_cast<std::int64_t>(pos_); }
  void seek(std::int64_t position);

 private:
  bool fill();
  void stop_mapping();
  bool read_window(std::int64_t position);
  int read_byte_slow();
  std::size_t read_slow(std::span<std::uint8_t> dst);
  void skip_slow(std::int64_t count);

  std::FILE* file_ = nullptr;
  // The mapper of a regular file's windows, while one runs.
  std::unique_ptr<MapAhead> map_ahead_;
  // Windows read on demand: our own buffer, and where the file itself
  // stands.
  std::vector<std::uint8_t> buffer_;
  std::int64_t file_pos_ = 0;
  const std::uint8_t* window_ = nullptr;  // the bytes of the window
  std::size_t pos_ = 0;                   // next byte to deliver
  std::size_t len_ = 0;                   // bytes valid in the window
  std::int64_t buffer_start_ = 0;         // file offset of window_[0]
};

}  // namespace mendra
