// Output files that are never half-written: the text goes to a new file
// beside the target, which replaces the target only once it is complete.
// So an interruption or a failed write leaves the old file (possibly the
// input itself, as with -o a.ass a.ass) untouched.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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
  // Flushes, closes and renames the file into place; false (and nothing
  // replaced) when any write or the rename failed.
  bool commit();
  // Removes the temporary file, if one is open.
  void discard();

 private:
  bool flush();
  bool write_all(const char* data, std::size_t size);
  void write_slow(std::string_view text);

  int fd_ = -1;
  std::vector<char> buffer_;  // written out in large blocks, not per line
  std::size_t used_ = 0;
  std::string target_;
  std::string temp_path_;
  bool failed_ = false;
};

}  // namespace mendra
