// The files of one run that concern more than one input: what the run has
// written so far, and the pipes it has read. A batch that re-times two
// "x.srt" from different folders into one -o folder, or hands one
// -timecodes-out file to several inputs, would otherwise keep only the last
// result while every input reported "written:"; and a cut list shared by
// -all that comes through a pipe can be read once only. The walk owns the
// record and passes it to every input.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace mendra {

// An output as the run compares it: one file (the same device and inode,
// however its name is spelt or linked) once it exists, else its path with
// links followed and the folder made absolute; standard output is one.
std::string output_identity(const std::string& path);

struct RunFiles {
  struct Written {
    std::string file;   // the identity of the file as it stands now
    std::string path;   // the identity of its path, should it be gone
    std::string shown;  // as "written:" named it
    std::string input;  // the input it was written for, as named
  };
  std::vector<Written> written;
  // The bytes of every pipe read so far, by its identity.
  std::map<std::string, std::string> piped;
};

// The output written in this run that `path` would write again, or nullptr.
const RunFiles::Written* already_written(const RunFiles& run, const std::string& path);

// Notes an output just committed; "-" is standard output.
void note_written(RunFiles& run, const std::string& path, const std::string& input);

// The bytes of a piped file (util/input_file.h: is_piped_file), read whole
// the first time an input of the run names it and kept for the later ones;
// nullptr when it cannot be read.
const std::string* piped_bytes(RunFiles& run, const std::string& path);

}  // namespace mendra
