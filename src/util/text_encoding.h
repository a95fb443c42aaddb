// The encodings text files come in: UTF-8 (with or without its mark) and
// UTF-16 in either byte order, as Windows Notepad saves "Unicode". Text is
// handled as UTF-8 inside; UTF-16 is turned into it when read and back when
// written, piece by piece, so memory stays constant whatever the file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mendra {

enum class TextEncoding {
  Utf8,
  Utf16Le,  // begins with FF FE
  Utf16Be,  // begins with FE FF
};

// The UTF-8 byte-order mark, U+FEFF, as editors write it at the start of a
// file.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

inline bool starts_with_utf8_bom(std::string_view text) {
  return text.starts_with(kUtf8ByteOrderMark);
}

// The encoding a file's first bytes announce: UTF-16 only with its mark.
TextEncoding detect_text_encoding(std::string_view first_bytes);
// How many bytes of the mark detect_text_encoding saw (0 for UTF-8).
std::size_t byte_order_mark_size(TextEncoding encoding);

// UTF-16 bytes to UTF-8, across any split into pieces: an odd byte or a
// high surrogate at the end of one piece waits for the next. An unpaired
// surrogate and an odd last byte become U+FFFD.
struct Utf16Decoder {
  TextEncoding encoding = TextEncoding::Utf16Le;
  int odd_byte = -1;       // first byte of a unit cut by the piece end
  unsigned high_unit = 0;  // a high surrogate waiting for its low half

  // Appends the UTF-8 of `size` bytes at `in` to `out`; returns the bytes
  // written, at most size * 3 / 2 + 4.
  std::size_t decode(const unsigned char* in, std::size_t size, char* out);
  // What is left at the end of the input, as U+FFFD; at most 6 bytes.
  std::size_t finish(char* out);
};

// UTF-8 back to UTF-16, across any split into pieces: a sequence cut by
// the piece end waits for the next. Bytes that are not UTF-8 become U+FFFD.
struct Utf16Encoder {
  TextEncoding encoding = TextEncoding::Utf16Le;
  std::string pending;  // the start of a cut sequence

  void encode(std::string_view utf8, std::string& out);
  void finish(std::string& out);
};

// Checks that a text is UTF-8 (well-formed sequences, no surrogates, no
// overlong forms), across any split into pieces, and notes the line (from 1)
// of the first byte that is not: so a format that must be UTF-8 can name
// where a file is not, while the file is read for the rewrite anyway.
struct Utf8Check {
  std::int64_t line = 1;            // the line of the next byte
  std::int64_t first_bad_line = 0;  // 0: every byte so far is UTF-8
  int continuation_left = 0;        // bytes still due for the open sequence
  unsigned char low = 0x80;         // the range of the next continuation byte
  unsigned char high = 0xBF;

  void check(std::string_view piece);
  // A sequence cut by the end of the text is not UTF-8.
  void finish();
};

// Bytes in a character set that the system's iconv knows (CP1252,
// SHIFT_JIS, EUC-JP, GB18030, ...) turned into UTF-8 piece by piece: a
// sequence cut by the end of one piece waits for the next. The first byte
// that is not of the set stops the decoding for good, and bad_line names its
// line (from 1), counted in the text decoded before it; so a file read in
// the wrong set is never written half-decoded.
struct CharsetDecoder {
  CharsetDecoder() = default;
  CharsetDecoder(const CharsetDecoder&) = delete;
  CharsetDecoder& operator=(const CharsetDecoder&) = delete;
  ~CharsetDecoder() { close(); }

  // False when iconv knows no character set of that name.
  bool open(const std::string& name);
  void close();
  // Adds bytes to those waiting to be decoded.
  void feed(std::string_view bytes);
  // Decodes what waits into `out`, at most `capacity` bytes (at least 16);
  // returns how many it wrote.
  std::size_t decode(char* out, std::size_t capacity);
  // The bytes have ended: a sequence still waiting was cut short.
  void finish();
  // Whether undecoded bytes still wait (the output was full).
  bool waiting() const { return pending_at_ < pending_.size() && bad_line_ == 0; }
  std::int64_t bad_line() const { return bad_line_; }

 private:
  void* handle_ = nullptr;  // the iconv descriptor
  std::string pending_;
  std::size_t pending_at_ = 0;
  std::int64_t line_ = 1;  // the line of the next character decoded
  std::int64_t bad_line_ = 0;
};

// A whole text in the named character set at once; false when the name is
// unknown (bad_line 0) or a byte is not of the set (bad_line its line).
bool decode_charset(std::string_view bytes, const std::string& name, std::string& text,
                    std::int64_t& bad_line);

// A whole text at once, for texts held in memory.
std::string decode_utf16(std::string_view bytes, TextEncoding encoding);
std::string encode_utf16(std::string_view utf8, TextEncoding encoding);

}  // namespace mendra
