#include "util/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace mendra {
namespace {

constexpr unsigned kReplacement = 0xFFFD;
constexpr unsigned kHighFirst = 0xD800;
constexpr unsigned kLowFirst = 0xDC00;
constexpr unsigned kLowLast = 0xDFFF;
constexpr unsigned kPlaneBase = 0x10000;
constexpr unsigned kMaxCodePoint = 0x10FFFF;
constexpr std::size_t kMarkBytes = 2;

char byte(unsigned value) {
  return static_cast<char>(static_cast<unsigned char>(value & 0xFFu));
}

std::size_t put_utf8(unsigned cp, char* out) {
  if (cp < 0x80) {
    out[0] = byte(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = byte(0xC0 | (cp >> 6));
    out[1] = byte(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < kPlaneBase) {
    out[0] = byte(0xE0 | (cp >> 12));
    out[1] = byte(0x80 | ((cp >> 6) & 0x3F));
    out[2] = byte(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (cp >> 18));
  out[1] = byte(0x80 | ((cp >> 12) & 0x3F));
  out[2] = byte(0x80 | ((cp >> 6) & 0x3F));
  out[3] = byte(0x80 | (cp & 0x3F));
  return 4;
}

void put_unit(unsigned unit, TextEncoding encoding, std::string& out) {
  if (encoding == TextEncoding::Utf16Le) {
    out.push_back(byte(unit));
    out.push_back(byte(unit >> 8));
  } else {
    out.push_back(byte(unit >> 8));
    out.push_back(byte(unit));
  }
}

void put_utf16(unsigned cp, TextEncoding encoding, std::string& out) {
  if (cp >= kPlaneBase) {
    const unsigned rest = cp - kPlaneBase;
    put_unit(kHighFirst + (rest >> 10), encoding, out);
    put_unit(kLowFirst + (rest & 0x3FF), encoding, out);
  } else {
    put_unit(cp, encoding, out);
  }
}

// Length of the UTF-8 sequence a lead byte begins, 0 for a byte that cannot
// begin one.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes the sequence at the start of `text` (complete, of length `length`)
// or returns U+FFFD with `length` set to 1 when it is not UTF-8.
unsigned decode_sequence(std::string_view text, std::size_t& length) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned cp = at(0) & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0) != 0x80) {
      length = 1;
      return kReplacement;
    }
    cp = (cp << 6) | (at(i) & 0x3Fu);
  }
  const unsigned smallest[] = {0, 0, 0x80, 0x800, kPlaneBase};
  if (cp < smallest[length] || cp > kMaxCodePoint || (cp >= kHighFirst && cp <= kLowLast)) {
    length = 1;
    return kReplacement;
  }
  return cp;
}

}  // namespace

TextEncoding detect_text_encoding(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xFF\xFE")) return TextEncoding::Utf16Le;
  if (first_bytes.starts_with("\xFE\xFF")) return TextEncoding::Utf16Be;
  return TextEncoding::Utf8;
}

std::size_t byte_order_mark_size(TextEncoding encoding) {
  return encoding == TextEncoding::Utf8 ? 0 : kMarkBytes;
}

std::size_t Utf16Decoder::decode(const unsigned char* in, std::size_t size, char* out) {
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < size) {
    unsigned first = 0;
    unsigned second = 0;
    if (odd_byte >= 0) {
      first = static_cast<unsigned>(odd_byte);
      second = in[i++];
      odd_byte = -1;
    } else if (i + 1 < size) {
      first = in[i];
      second = in[i + 1];
      i += 2;
    } else {
      odd_byte = in[i++];
      break;
    }
    const unsigned unit =
        encoding == TextEncoding::Utf16Le ? (second << 8 | first) : (first << 8 | second);
    if (high_unit != 0) {
      const unsigned high = high_unit;
      high_unit = 0;
      if (unit >= kLowFirst && unit <= kLowLast) {
        written +=
            put_utf8(kPlaneBase + ((high - kHighFirst) << 10) + (unit - kLowFirst), out + written);
        continue;
      }
      written += put_utf8(kReplacement, out + written);
    }
    if (unit >= kHighFirst && unit < kLowFirst) {
      high_unit = unit;
    } else if (unit >= kLowFirst && unit <= kLowLast) {
      written += put_utf8(kReplacement, out + written);
    } else {
      written += put_utf8(unit, out + written);
    }
  }
  return written;
}

std::size_t Utf16Decoder::finish(char* out) {
  std::size_t written = 0;
  if (high_unit != 0) written += put_utf8(kReplacement, out + written);
  if (odd_byte >= 0) written += put_utf8(kReplacement, out + written);
  high_unit = 0;
  odd_byte = -1;
  return written;
}

void Utf16Encoder::encode(std::string_view utf8, std::string& out) {
  std::string joined;
  if (!pending.empty()) {
    joined = pending;
    joined.append(utf8);
    pending.clear();
    utf8 = joined;
  }
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      put_unit(lead, encoding, out);
      ++i;
      continue;
    }
    std::size_t length = sequence_length(lead);
    if (length == 0) {
      put_unit(kReplacement, encoding, out);
      ++i;
      continue;
    }
    if (i + length > utf8.size()) {
      // Cut by the end of the piece: the rest may come with the next one.
      pending.assign(utf8.substr(i));
      return;
    }
    put_utf16(decode_sequence(utf8.substr(i), length), encoding, out);
    i += length;
  }
}

void Utf16Encoder::finish(std::string& out) {
  // Whatever waits was cut by the end of the text: each byte is invalid.
  for (std::size_t i = 0; i < pending.size(); ++i) put_unit(kReplacement, encoding, out);
  pending.clear();
}

void Utf8Check::check(std::string_view piece) {
  for (std::size_t i = 0; i < piece.size() && first_bad_line == 0; ++i) {
    const auto c = static_cast<unsigned char>(piece[i]);
    if (continuation_left > 0) {
      if (c < low || c > high) {
        first_bad_line = line;
        break;
      }
      low = 0x80;
      high = 0xBF;
      --continuation_left;
      continue;
    }
    if (c < 0x80) {
      if (c == '\n') ++line;
      continue;
    }
    // The lead byte says how many continuation bytes follow and, for the
    // first of them, the range that rules out overlong forms, surrogates
    // and code points past U+10FFFF.
    if (c >= 0xC2 && c <= 0xDF) {
      continuation_left = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      continuation_left = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      continuation_left = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      first_bad_line = line;
    }
  }
}

void Utf8Check::finish() {
  if (continuation_left > 0 && first_bad_line == 0) first_bad_line = line;
  continuation_left = 0;
}

namespace {

constexpr std::size_t kCharsetPieceBytes = std::size_t{16} * 1024;

iconv_t as_iconv(void* handle) {
  return static_cast<iconv_t>(handle);
}

}  // namespace

bool CharsetDecoder::open(const std::string& name) {
  close();
  iconv_t handle = iconv_open("UTF-8", name.c_str());
  // iconv_open's failure value is (iconv_t)-1.
  if (reinterpret_cast<std::intptr_t>(handle) == -1) return false;
  handle_ = handle;
  return true;
}

void CharsetDecoder::close() {
  if (handle_ != nullptr) iconv_close(as_iconv(handle_));
  handle_ = nullptr;
  pending_.clear();
  pending_at_ = 0;
  line_ = 1;
  bad_line_ = 0;
}

void CharsetDecoder::feed(std::string_view bytes) {
  if (bad_line_ != 0) return;
  // What was decoded leaves the front before the new bytes join the rest.
  pending_.erase(0, pending_at_);
  pending_at_ = 0;
  pending_.append(bytes);
}

std::size_t CharsetDecoder::decode(char* out, std::size_t capacity) {
  if (handle_ == nullptr) return 0;
  char* next = out;
  std::size_t out_left = capacity;
  // A stateful set (ISO-2022-JP) may take bytes that write nothing, such as
  // a shift sequence: go on while bytes are taken and nothing came out.
  while (bad_line_ == 0 && pending_at_ < pending_.size() && next == out) {
    char* in = pending_.data() + pending_at_;
    std::size_t in_left = pending_.size() - pending_at_;
    const std::size_t result = iconv(as_iconv(handle_), &in, &in_left, &next, &out_left);
    const int reason = errno;
    const std::size_t taken = static_cast<std::size_t>(in - pending_.data()) - pending_at_;
    pending_at_ += taken;
    line_ += std::count(out, next, '\n');
    // EINVAL: a sequence cut by the end of the bytes, which the next piece
    // completes; E2BIG: the output is full, the rest waits.
    if (result == static_cast<std::size_t>(-1) && reason == EILSEQ) bad_line_ = line_;
    if (taken == 0) break;
  }
  return static_cast<std::size_t>(next - out);
}

void CharsetDecoder::finish() {
  if (bad_line_ == 0 && pending_at_ < pending_.size()) bad_line_ = line_;
}

bool decode_charset(std::string_view bytes, const std::string& name, std::string& text,
                    std::int64_t& bad_line) {
  text.clear();
  bad_line = 0;
  CharsetDecoder decoder;
  if (!decoder.open(name)) return false;
  decoder.feed(bytes);
  char piece[kCharsetPieceBytes];
  for (std::size_t n; (n = decoder.decode(piece, sizeof piece)) > 0;) text.append(piece, n);
  decoder.finish();
  bad_line = decoder.bad_line();
  return bad_line == 0;
}

std::string decode_utf16(std::string_view bytes, TextEncoding encoding) {
  std::string text(bytes.size() * 3 / 2 + 16, '\0');
  Utf16Decoder decoder{encoding};
  std::size_t size = decoder.decode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                    bytes.size(), text.data());
  size += decoder.finish(text.data() + size);
  text.resize(size);
  return text;
}

std::string encode_utf16(std::string_view utf8, TextEncoding encoding) {
  std::string bytes;
  bytes.reserve(utf8.size() * 2);
  Utf16Encoder encoder{encoding, {}};
  encoder.encode(utf8, bytes);
  encoder.finish(bytes);
  return bytes;
}

}  // namespace mendra
