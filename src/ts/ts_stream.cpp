#include "ts/ts_stream.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "util/input_file.h"

namespace mendra {

// Offsets beyond 2 GiB must reach the seek call unharmed.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

bool TsStream::open(const std::string& path) {
  close();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  // Our own buffer does the buffering; a second one in stdio would only
  // copy every byte twice.
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  buffer_.resize(kTsStreamBufferBytes);
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
  return true;
}

void TsStream::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  pos_ = len_ = 0;
  buffer_start_ = file_pos_ = 0;
}

bool TsStream::fill() {
  if (file_ == nullptr) return false;
  const std::int64_t position = tell();
  if (file_pos_ != position) {
    if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) {
      pos_ = len_ = 0;
      buffer_start_ = position;
      return false;
    }
    file_pos_ = position;
  }
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  buffer_start_ = position;
  file_pos_ += static_cast<std::int64_t>(len_);
  return len_ > 0;
}

int TsStream::read_byte_slow() {
  if (pos_ >= len_ && !fill()) return -1;
  return buffer_[pos_++];
}

std::size_t TsStream::read_slow(std::span<std::uint8_t> dst) {
  std::size_t done = 0;
  while (done < dst.size()) {
    if (pos_ >= len_ && !fill()) break;
    const std::size_t n = std::min(dst.size() - done, len_ - pos_);
    std::memcpy(dst.data() + done, buffer_.data() + pos_, n);
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
  // Beyond the buffer: the next read seeks there.
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
