// Buffered binary reading of a transport stream. Recordings run to several
// GB and the packet walk reads a few bytes and skips the rest of every
// packet, so the stream is read through one large buffer of our own: a skip
// inside the buffer only moves the index, a skip beyond it becomes a 64-bit
// seek on the next read. Memory stays constant whatever the stream size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace mendra {

inline constexpr std::size_t kTsStreamBufferBytes = std::size_t{1024} * 1024;

struct TsStream {
  TsStream() = default;
  TsStream(const TsStream&) = delete;
  TsStream& operator=(const TsStream&) = delete;
  ~TsStream() { close(); }

  // Opens the file for binary reading; false when it cannot be opened or is
  // a directory.
  bool open(const std::string& path);
  void close();
  bool is_open() const { return file_ != nullptr; }

  // Next byte (0 to 255), or -1 at the end of the file.
  int read_byte() {
    // Inline: the sync search and the header reads take every packet's
    // first bytes one at a time.
    if (pos_ < len_) return buffer_[pos_++];
    return read_byte_slow();
  }
  // Reads up to dst.size() bytes; returns how many arrived (fewer only at
  // the end of the file).
  std::size_t read(std::span<std::uint8_t> dst) {
    if (dst.size() <= len_ - pos_) {
      std::memcpy(dst.data(), buffer_.data() + pos_, dst.size());
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
    const auto bytes = std::span<const std::uint8_t>(buffer_).subspan(pos_, count);
    pos_ += count;
    return bytes;
  }
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
  int read_byte_slow();
  std::size_t read_slow(std::span<std::uint8_t> dst);
  void skip_slow(std::int64_t count);

  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;            // next byte to deliver
  std::size_t len_ = 0;            // bytes valid in the buffer
  std::int64_t buffer_start_ = 0;  // file offset of buffer_[0]
  std::int64_t file_pos_ = 0;      // where the file itself stands
};

}  // namespace mendra
