// Output files that are never half-written: the text goes to a new file
// beside the target, which replaces the target only once it is complete.
// So an interruption or a failed write leaves the old file (possibly the
// input itself, as with -o a.ass a.ass) untouched. Several files that belong
// together (the outputs of one input) are committed as one: all or none of
// them replace their targets. An interrupted run (SIGINT, SIGTERM, SIGHUP)
// removes the new files it has open, then dies of the signal. The same
// writer also serves standard output and a string, so that everything
// written goes through one buffer.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_encoding.h"

namespace mendra {

// How much standard output holds back before its first write.
constexpr std::size_t kHeldOutputBytes = std::size_t{1} << 20;

struct OutputFile {
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Creates the temporary file beside `target`; false when that fails.
  bool open(const std::string& target);
  // Writes to standard output instead. What is written is held back up to
  // kHeldOutputBytes, so a writer that gives up early (discard) has
  // written nothing; commit writes what is left.
  void open_standard_output();
  // Appends to `text` instead of a file; commit completes it.
  void open_string(std::string& text);
  void write(std::string_view text) {
    // Inline: the rewriters write every line in two or three pieces. An
    // empty piece copies nothing, also when it points nowhere.
    if (fd_ >= 0 && !failed_ && text.size() <= buffer_.size() - used_) {
      if (text.empty()) return;
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
  // Removes the temporary file, if one is open; for standard output, drops
  // what is still held back.
  void discard();
  // True once bytes went out to standard output: a discard can no longer
  // take them back.
  bool wrote_out() const { return wrote_out_; }
  // The errno of the open, write, close or rename that failed; 0 if none.
  int error_number() const { return error_number_; }

 private:
  friend std::size_t commit_together(std::span<OutputFile* const> files);
  bool finish_file();
  bool finish_stream();
  bool replace_target(bool keep_old);
  void take_back();
  void drop_old();
  bool flush();
  bool flush_to_end();
  bool write_all(const char* data, std::size_t size);
  bool write_out(const char* data, std::size_t size);
  void write_slow(std::string_view text);

  enum class Target { File, StandardOutput, String };

  Target target_kind_ = Target::File;
  std::string* text_ = nullptr;  // for Target::String
  bool wrote_out_ = false;
  int registry_slot_ = -1;  // where the temporary path waits for a signal
  int fd_ = -1;
  std::vector<char> buffer_;  // written out in large blocks, not per line
  std::size_t used_ = 0;
  std::string target_;
  std::string temp_path_;  // the new file, until it is renamed into place
  std::string old_path_;   // within a group: the file replaced, kept until the group is done
  int old_slot_ = -1;      // where old_path_ waits for a signal
  bool created_ = false;   // within a group: the target did not exist before
  bool failed_ = false;
  int error_number_ = 0;
  TextEncoding encoding_ = TextEncoding::Utf8;
  Utf16Encoder encoder_;
  std::string encoded_;  // one flush turned into the file's encoding
};

// The file a name finally refers to: a symbolic link is followed to its
// target (also when that does not exist yet), which is what an output
// written under that name replaces.
std::string resolve_links(std::string path);

// Commits the outputs as one. Every file is written out and closed before
// the first replaces its target; when any step fails, each target already
// replaced gets its old file back (the very file: a link to it is kept
// until the group is done), a new one is removed again, and the others are
// discarded, so no target of the group has changed. Standard output is
// written once every file is complete, before the first rename: what went
// out there cannot be taken back. Returns the index of the output that
// failed (its error_number says why), or files.size() when all are in
// place.
std::size_t commit_together(std::span<OutputFile* const> files);

}  // namespace mendra
