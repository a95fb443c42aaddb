// The one form in which a failure to open, read or write a file is
// reported, whichever reader or writer met it.
#pragma once

#include <string>
#include <string_view>

#include "util/log.h"

namespace mendra {

// What was being done with the file when it failed.
enum class FileAction { Open, Read, Write };

// What failed and why. `role` says what the file is to the run ("input
// srt", "output timecodes", "list file"); `name` is how an open error names
// it (a subtitle by its path without extension, as it always has), `path`
// the file as given; `error_number` the errno of the failure, 0 when the
// system gave none.
struct FileFailure {
  std::string_view role;
  FileAction action = FileAction::Open;
  std::string_view name;
  std::string_view path;
  int error_number = 0;
};

// An open error: "<role> open error: <name>", then, when the system gave a
// reason, the full path and the reason on a line of their own after a tab
// (report_open_reason). A read or a write error: "<role> read error:
// <path>: <reason>" on one line ("output srt write error: out.srt: No space
// left on device"), since the file did open and its path is the one given.
void report_file_failure(const Log& log, const FileFailure& failure);

// "\t<full path>: <reason>": the line that follows every open error,
// including those whose first line is a message of its own.
void report_open_reason(const Log& log, std::string_view path, int error_number);

}  // namespace mendra
