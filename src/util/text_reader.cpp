#include "util/text_reader.h"

#include <sys/stat.h>

#include <cerrno>
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
  begin_file(f, true);
  return true;
}

bool TextReader::open_rewindable(const std::string& path) {
  close();
  std::FILE* f = open_input_file(path);
  if (f == nullptr) return false;
  struct stat info {};
  if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode)) {
    begin_file(f, true);
    return true;
  }
  std::string bytes;
  std::vector<char> piece(kReadBufferBytes);
  for (std::size_t n; (n = std::fread(piece.data(), 1, piece.size(), f)) > 0;) {
    bytes.append(piece.data(), n);
  }
  const bool failed = std::ferror(f) != 0;
  const int error_number = errno;
  std::fclose(f);
  open_memory(bytes);
  if (failed) {
    read_failed_ = true;
    error_number_ = error_number;
  }
  return true;
}

void TextReader::open_standard_input() {
  close();
  begin_file(stdin, false);
}

void TextReader::begin_file(std::FILE* file, bool owned) {
  file_ = file;
  owns_file_ = owned;
  read_failed_ = false;
  error_number_ = 0;
  buffer_.resize(kReadBufferBytes);
  pushback_.clear();
  // Our own buffer is the only one a file we opened needs: through the
  // stream's, every read of a buffer's worth would be split in two and
  // partly copied twice.
  if (owned) std::setvbuf(file, nullptr, _IONBF, 0);
  // The first two bytes tell a UTF-16 mark from UTF-8.
  char first[2];
  const std::size_t n = std::fread(first, 1, sizeof first, file_);
  start(std::string_view(first, n));
}

std::string_view TextReader::peek_start() {
  if (file_ != nullptr && pos_ == 0) {
    if (decodes_charset()) {
      if (len_ == 0) fill_charset();
    } else if (encoding_ == TextEncoding::Utf8) {
      // The bytes looked at so far stay in front of the rest.
      while (len_ < buffer_.size()) {
        const std::size_t n = std::fread(buffer_.data() + len_, 1, buffer_.size() - len_, file_);
        if (n == 0) break;
        checked(buffer_.data() + len_, n);
        len_ += n;
      }
      if (len_ < buffer_.size() && std::ferror(file_) != 0) note_read_failure();
    } else if (len_ == 0) {
      fill_decoded();
    }
  }
  return std::string_view(buffer_.data() + pos_, len_ - pos_);
}

void TextReader::start(std::string_view first_bytes) {
  pos_ = len_ = 0;
  if (decodes_charset()) {
    // The named set decides, whatever a mark would say.
    encoding_ = TextEncoding::Utf8;
    charset_unknown_ = !charset_.open(charset_name_);
    charset_.feed(first_bytes);
    raw_.resize(kReadBufferBytes / 2);
    decoder_finished_ = false;
    return;
  }
  encoding_ = detect_text_encoding(first_bytes);
  if (encoding_ == TextEncoding::Utf8) {
    // The bytes looked at are text: they are read first.
    first_bytes.copy(buffer_.data(), first_bytes.size());
    len_ = first_bytes.size();
    return;
  }
  // Half a buffer of UTF-16 never decodes to more than the whole buffer.
  raw_.resize(kReadBufferBytes / 2);
  decoder_ = Utf16Decoder{encoding_};
  decoder_finished_ = false;
}

void TextReader::open_memory(std::string_view data) {
  close();
  in_memory_ = true;
  read_failed_ = false;
  error_number_ = 0;
  encoding_ = detect_text_encoding(data);
  memory_bad_line_ = 0;
  if (decodes_charset()) {
    encoding_ = TextEncoding::Utf8;
    if (!decode_charset(data, charset_name_, memory_, memory_bad_line_)) {
      charset_unknown_ = memory_bad_line_ == 0;
    }
  } else if (encoding_ == TextEncoding::Utf8) {
    memory_.assign(data);
  } else {
    memory_ = decode_utf16(data.substr(byte_order_mark_size(encoding_)), encoding_);
  }
  buffer_.assign(memory_.begin(), memory_.end());
  pos_ = 0;
  len_ = buffer_.size();
}

void TextReader::check_utf8() {
  utf8_check_ = Utf8Check{};
  // What a character set decodes to is UTF-8 already.
  checking_utf8_ = encoding_ == TextEncoding::Utf8 && !decodes_charset();
  // What has entered the buffer so far: the first bytes, or all of a text
  // held in memory.
  checked(buffer_.data() + pos_, len_ - pos_);
  if (in_memory_ && checking_utf8_) utf8_check_.finish();
}

void TextReader::close() {
  if (file_ != nullptr && owns_file_) std::fclose(file_);
  file_ = nullptr;
  owns_file_ = true;
  in_memory_ = false;
  encoding_ = TextEncoding::Utf8;
  checking_utf8_ = false;
  utf8_check_ = Utf8Check{};
  memory_.clear();
  memory_bad_line_ = 0;
  charset_.close();
  charset_unknown_ = false;
  pos_ = len_ = 0;
  pushback_.clear();
}

std::int64_t TextReader::first_charset_error_line() const {
  return in_memory_ ? memory_bad_line_ : charset_.bad_line();
}

void TextReader::note_read_failure() {
  read_failed_ = true;
  error_number_ = errno;
}

bool TextReader::fill() {
  if (file_ == nullptr) return false;
  if (decodes_charset()) return fill_charset();
  if (encoding_ != TextEncoding::Utf8) return fill_decoded();
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  if (len_ == 0 && std::ferror(file_) != 0) note_read_failure();
  checked(buffer_.data(), len_);
  if (len_ == 0 && checking_utf8_) utf8_check_.finish();
  return len_ > 0;
}

bool TextReader::fill_decoded() {
  pos_ = len_ = 0;
  while (!decoder_finished_) {
    const std::size_t n = std::fread(raw_.data(), 1, raw_.size(), file_);
    if (n == 0) {
      if (std::ferror(file_) != 0) note_read_failure();
      len_ = decoder_.finish(buffer_.data());
      decoder_finished_ = true;
    } else {
      len_ = decoder_.decode(raw_.data(), n, buffer_.data());
    }
    if (len_ > 0) return true;
  }
  return false;
}

bool TextReader::fill_charset() {
  pos_ = len_ = 0;
  for (;;) {
    len_ = charset_.decode(buffer_.data(), buffer_.size());
    if (len_ > 0) return true;
    if (charset_.bad_line() != 0 || charset_unknown_ || decoder_finished_) return false;
    // Nothing more decodes from what waits: read on.
    const std::size_t n = std::fread(raw_.data(), 1, raw_.size(), file_);
    if (n == 0) {
      if (std::ferror(file_) != 0) note_read_failure();
      charset_.finish();
      decoder_finished_ = true;
      return false;
    }
    charset_.feed(std::string_view(reinterpret_cast<const char*>(raw_.data()), n));
  }
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
    if (!keep_crlf_ && line.size() >= 2 && line[line.size() - 2] == '\r') {
      line.erase(line.size() - 2, 1);
    }
    return true;
  }
  return any;
}

// A line that next_buffered_line could not give: one that crosses the
// buffer's end or begins with pushed-back characters.
bool TextReader::next_unbuffered_line(std::string_view& line) {
  if (!read_line(long_line_)) return false;
  line = long_line_;
  return true;
}

bool TextReader::next_unbuffered_line(std::string_view& line, std::string_view& kept) {
  // This read may refill the buffer or reuse long_line_, either of which the
  // kept line may view: it moves into a copy of its own first.
  if (!kept.empty() && kept.data() != kept_.data()) {
    kept_.assign(kept);
    kept = kept_;
  }
  return next_unbuffered_line(line);
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
  pos_ = len_ = 0;
  if (file_ != nullptr) {
    std::rewind(file_);
    char first[2];
    const std::size_t n = std::fread(first, 1, sizeof first, file_);
    start(std::string_view(first, n));
  }
  if (in_memory_) {
    buffer_.assign(memory_.begin(), memory_.end());
    len_ = buffer_.size();
  }
  pushback_.clear();
}

bool can_read_text_file(const std::string& path) {
  return open_failure_reason(path).empty();
}

}  // namespace mendra
