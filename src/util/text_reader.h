// Reading of text files as Windows tools write them: a CR LF line end reads
// as LF, as a text-mode stream would deliver it on Windows, and a file that
// begins with a UTF-16 mark reads as UTF-8 (without the mark). Reads go
// through a buffer of our own, so memory stays constant whatever the file
// size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/text_encoding.h"

namespace mendra {

struct TextReader {
  TextReader() = default;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;
  ~TextReader() { close(); }

  // Opens a regular file for reading; false when it cannot be opened or is
  // a directory.
  bool open(const std::string& path);
  // The same, for a reader that must be able to rewind: a file that cannot
  // be read twice (a named pipe, /dev/stdin, a process substitution) is
  // read whole into memory first, so it is still opened and read once.
  bool open_rewindable(const std::string& path);
  // Reads standard input, which is left open at close.
  void open_standard_input();
  // Reads the given bytes instead of a file, as a file holding them would
  // read: so every reader of text can run on a buffer in tests and fuzzing.
  void open_memory(std::string_view data);
  void close();
  bool is_open() const { return file_ != nullptr || in_memory_; }

  // Lines keep a CR LF end as read (read_line and next_line only), for a
  // copy that must keep every line as it was. Set before the first read.
  void set_keep_crlf(bool keep) { keep_crlf_ = keep; }
  // Reads the bytes as the named character set (any name iconv knows),
  // turned into UTF-8, instead of recognising UTF-8 or UTF-16 by a mark.
  // Set before open; empty: as recognised.
  void set_charset(std::string name) { charset_name_ = std::move(name); }
  // After open: the character set set_charset named is unknown, so nothing
  // can be read.
  bool charset_unknown() const { return charset_unknown_; }
  // The line of the first byte that is not of that character set, once the
  // text was read up to it (reading stops there); 0 when there is none.
  std::int64_t first_charset_error_line() const;
  // What the file was stored in; its text reads as UTF-8 all the same.
  TextEncoding encoding() const { return encoding_; }
  // The first bytes of the text (as UTF-8, up to a buffer's worth), without
  // taking them: so a pipe, which cannot be read twice, can be recognised
  // by its content. Only before the first read.
  std::string_view peek_start();

  // Next character with CR LF turned into LF, or EOF.
  int get();
  // Puts characters back in front of the next get(), last in first out.
  void unget(int c);

  // A whole line including its LF (none on a last line without one); false
  // at the end of the file when nothing was read. NUL bytes are kept.
  bool read_line(std::string& line);
  // The same line as read_line, as a view that stays valid until the next
  // read: straight into the read buffer when the line lies wholly inside
  // it, so the common line is never copied.
  bool next_line(std::string_view& line) {
    return next_buffered_line(line) || next_unbuffered_line(line);
  }
  // The same, and `kept` (a view of a line read before, or empty) stays
  // valid across this read too: when the read must go past the buffer, kept
  // is copied first and then views the copy. So a reader that may need the
  // previous line holds on to it as a view, and it is copied only on the
  // rare read that refills the buffer.
  bool next_line(std::string_view& line, std::string_view& kept) {
    // Lines within the buffer leave the kept line where it is.
    return next_buffered_line(line) || next_unbuffered_line(line, kept);
  }
  // A piece as fgets with a buffer of max_bytes + 1 delivers it: at most
  // max_bytes characters, ending after the first LF.
  bool read_piece(std::string& piece, std::size_t max_bytes = 255);

  // Checks from here on that the text is UTF-8 (a UTF-16 file always is, once
  // decoded): call before the first read, peek_start aside. Not with rewind.
  void check_utf8();
  // The line of the first byte that is not UTF-8, once the text has been
  // read to that point; 0 when there is none or check_utf8 was not asked.
  std::int64_t first_non_utf8_line() const { return utf8_check_.first_bad_line; }

  // True once a read failed for another reason than the end of the file:
  // what was read is then incomplete.
  bool read_failed() const { return read_failed_; }
  // The errno of that failed read; 0 while none failed.
  int error_number() const { return error_number_; }

  // Back to the start of the file.
  void rewind();

 private:
  int raw_get();
  void note_read_failure();
  bool fill();
  bool fill_decoded();
  bool fill_charset();
  bool decodes_charset() const { return !charset_name_.empty(); }
  void start(std::string_view first_bytes);
  // Takes `file` (closed by close() when owned) and reads its first bytes.
  void begin_file(std::FILE* file, bool owned);
  // The next line when it lies wholly inside the buffer: inline, as every
  // line of every file comes here; the rest go the slower way.
  [[gnu::always_inline]] bool next_buffered_line(std::string_view& line) {
    if (!pushback_.empty() || pos_ >= len_) return false;
    char* start = buffer_.data() + pos_;
    const std::size_t avail = len_ - pos_;
    void* lf = std::memchr(start, '\n', avail);
    if (lf == nullptr) return false;
    char* newline = static_cast<char*>(lf);
    std::size_t n = static_cast<std::size_t>(newline - start) + 1;
    pos_ += n;
    // CR LF reads as LF: the buffer is ours, so the CR is overwritten in
    // place and the view ends one byte early.
    if (!keep_crlf_ && n >= 2 && newline[-1] == '\r') {
      newline[-1] = '\n';
      --n;
    }
    line = std::string_view(start, n);
    return true;
  }
  bool next_unbuffered_line(std::string_view& line);
  bool next_unbuffered_line(std::string_view& line, std::string_view& kept);
  // Hands bytes that have just entered buffer_ to the UTF-8 check.
  void checked(const char* bytes, std::size_t size) {
    if (checking_utf8_) utf8_check_.check(std::string_view(bytes, size));
  }

  std::FILE* file_ = nullptr;
  bool owns_file_ = true;  // false for standard input
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::vector<int> pushback_;
  std::string long_line_;  // a line that crosses the end of the read buffer
  std::string kept_;       // the caller's kept line, across a refill
  bool read_failed_ = false;
  int error_number_ = 0;
  bool keep_crlf_ = false;
  TextEncoding encoding_ = TextEncoding::Utf8;
  // UTF-16 files: the bytes as read, before they become UTF-8 in buffer_.
  Utf16Decoder decoder_;
  std::vector<unsigned char> raw_;
  bool decoder_finished_ = false;
  bool checking_utf8_ = false;
  // -charset: the bytes as read go through the decoder into buffer_.
  std::string charset_name_;
  bool charset_unknown_ = false;
  CharsetDecoder charset_;
  std::int64_t memory_bad_line_ = 0;  // the first bad line of a text held in memory
  Utf8Check utf8_check_;
  // A buffer read in memory: buffer_ holds all of it (next_line changes it
  // in place), memory_ the original for a rewind.
  bool in_memory_ = false;
  std::string memory_;
};

// True when the path names a file that can be opened for reading as text
// (a directory cannot). Asks the file system without opening the file: a
// named pipe opened to look at it would lose what its writer sent.
bool can_read_text_file(const std::string& path);

}  // namespace mendra
