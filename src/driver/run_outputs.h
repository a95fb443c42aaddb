// What one run has written so far. A batch that re-times two "x.srt" from
// different folders into one -o folder, or hands one -timecodes-out file to
// several inputs, would otherwise keep only the last result while every
// input reported "written:". The walk owns the record and passes it to
// every input.
#pragma once

#include <string>
#include <vector>

namespace mendra {

// An output as the run compares it: one file (the same device and inode,
// however its name is spelt or linked) once it exists, else its path with
// links followed and the folder made absolute; standard output is one.
std::string output_identity(const std::string& path);

struct RunOutputs {
  struct Written {
    std::string file;   // the identity of the file as it stands now
    std::string path;   // the identity of its path, should it be gone
    std::string shown;  // as "written:" named it
    std::string input;  // the input it was written for, as named
  };
  std::vector<Written> written;
};

// The output written in this run that `path` would write again, or nullptr.
const RunOutputs::Written* already_written(const RunOutputs& run, const std::string& path);

// Notes an output just committed; "-" is standard output.
void note_written(RunOutputs& run, const std::string& path, const std::string& input);

}  // namespace mendra
