// Output files that are never half-written: the text goes to a new file
// beside the target, which replaces the target only once it is complete.
// So an interruption or a failed write leaves the old file (possibly the
// input itself, as with -o a.ass a.ass) untouched.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_encoding.h"

namespace mendra {

struct OutputFile {
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Creates the temporary file beside `target`; false when that fails.
  bool open(const std::string& target);
  void write(std::string_view text) {
    // Inline: the rewriters write every line in two or three pieces.
    if (fd_ >= 0 && !failed_ && text.size() <= buffer_.size() - used_) {
      std::memcpy(buffer_.data() + used_, text.data(), text.size());
      used_ += text.size();
      return;
    }
    write_slow(text);
  }
  // The text written is UTF-8; the file gets it in `encoding`, turned at
  // each flush of the buffer. Set after open, before the first write.
  void set_encoding(TextEncoding encoding) {
    encoding_ = encoding;
    encoder_ = Utf16Encoder{encoding, {}};
  }
  // Flushes, closes and renames the file into place; false (and nothing
  // replaced) when any write or the rename failed.
  bool commit();
  // Removes the temporary file, if one is open.
  void discard();
  // The errno of the open, write, close or rename that failed; 0 if none.
  int error_number() const { return error_number_; }

 private:
  bool flush();
  bool write_all(const char* data, std::size_t size);
  bool write_out(const char* data, std::size_t size);
  void write_slow(std::string_view text);

  int fd_ = -1;
  std::vector<char> buffer_;  // written out in large blocks, not per line
  std::size_t used_ = 0;
  std::string target_;
  std::string temp_path_;
  bool failed_ = false;
  int error_number_ = 0;
  TextEncoding encoding_ = TextEncoding::Utf8;
  Utf16Encoder encoder_;
  std::string encoded_;  // one flush turned into the file's encoding
};

}  // namespace mendra
