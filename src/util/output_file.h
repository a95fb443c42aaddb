// Output files that are never half-written: the text goes to a new file
// beside the target, which replaces the target only once it is complete.
// So an interruption or a failed write leaves the old file (possibly the
// input itself, as with -o a.ass a.ass) untouched.
#pragma once

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
  void write(std::string_view text);
  // Flushes, closes and renames the file into place; false (and nothing
  // replaced) when any write or the rename failed.
  bool commit();
  // Removes the temporary file, if one is open.
  void discard();

 private:
  bool flush();

  int fd_ = -1;
  std::vector<char> buffer_;  // written out in large blocks, not per line
  std::string target_;
  std::string temp_path_;
  bool failed_ = false;
};

}  // namespace mendra
