#include "util/text_reader.h"

#include <cstring>

#include "util/input_file.h"

namespace mendra {
namespace {
constexpr std::size_t kReadBufferBytes = std::size_t{64} * 1024;
}

bool TextReader::open(const std::string& path) {
  close();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  file_ = f;
  read_failed_ = false;
  buffer_.resize(kReadBufferBytes);
  pos_ = len_ = 0;
  pushback_.clear();
  return true;
}

void TextReader::open_memory(std::string_view data) {
  close();
  in_memory_ = true;
  read_failed_ = false;
  memory_.assign(data);
  buffer_.assign(memory_.begin(), memory_.end());
  pos_ = 0;
  len_ = buffer_.size();
}

void TextReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  in_memory_ = false;
  memory_.clear();
  pos_ = len_ = 0;
  pushback_.clear();
}

bool TextReader::fill() {
  if (file_ == nullptr) return false;
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  if (len_ == 0 && std::ferror(file_) != 0) read_failed_ = true;
  return len_ > 0;
}

int TextReader::raw_get() {
  if (pos_ >= len_ && !fill()) return EOF;
  return static_cast<unsigned char>(buffer_[pos_++]);
}

int TextReader::get() {
  if (!pushback_.empty()) {
    const int c = pushback_.back();
    pushback_.pop_back();
    return c;
  }
  int c = raw_get();
  if (c == '\r') {
    const int next = raw_get();
    if (next == '\n') return '\n';
    if (next != EOF) --pos_;  // raw_get just read it from the buffer
  }
  return c;
}

void TextReader::unget(int c) {
  if (c != EOF) pushback_.push_back(c);
}

bool TextReader::read_line(std::string& line) {
  line.clear();
  bool any = false;
  while (!pushback_.empty()) {
    const int c = get();
    any = true;
    line.push_back(static_cast<char>(c));
    if (c == '\n') return true;
  }
  for (;;) {
    if (pos_ >= len_ && !fill()) break;
    any = true;
    const char* start = buffer_.data() + pos_;
    const std::size_t avail = len_ - pos_;
    const void* lf = std::memchr(start, '\n', avail);
    if (lf == nullptr) {
      line.append(start, avail);
      pos_ = len_;
      continue;
    }
    const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    line.append(start, n);
    pos_ += n;
    // CR LF reads as LF, also when the CR ended the previous buffer.
    if (line.size() >= 2 && line[line.size() - 2] == '\r') {
      line.erase(line.size() - 2, 1);
    }
    return true;
  }
  return any;
}

bool TextReader::next_line(std::string_view& line) {
  if (pushback_.empty() && pos_ < len_) {
    char* start = buffer_.data() + pos_;
    const std::size_t avail = len_ - pos_;
    if (void* lf = std::memchr(start, '\n', avail)) {
      char* newline = static_cast<char*>(lf);
      std::size_t n = static_cast<std::size_t>(newline - start) + 1;
      pos_ += n;
      // CR LF reads as LF: the buffer is ours, so the CR is overwritten in
      // place and the view ends one byte early.
      if (n >= 2 && newline[-1] == '\r') {
        newline[-1] = '\n';
        --n;
      }
      line = std::string_view(start, n);
      return true;
    }
  }
  if (!read_line(long_line_)) return false;
  line = long_line_;
  return true;
}

bool TextReader::read_piece(std::string& piece, std::size_t max_bytes) {
  piece.clear();
  while (piece.size() < max_bytes) {
    const int c = get();
    if (c == EOF) break;
    piece.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece.empty();
}

void TextReader::rewind() {
  if (file_ != nullptr) std::rewind(file_);
  pos_ = len_ = 0;
  if (in_memory_) {
    buffer_.assign(memory_.begin(), memory_.end());
    len_ = buffer_.size();
  }
  pushback_.clear();
}

bool can_read_text_file(const std::string& path) {
  TextReader reader;
  return reader.open(path);
}

}  // namespace mendra
