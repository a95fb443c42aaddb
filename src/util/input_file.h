// Opening of input files for reading in binary mode (text-mode line ends are
// handled by the readers themselves).
#pragma once

#include <cstdio>
#include <string>

namespace mendra {

// The file opened with "rb", or nullptr when it cannot be opened or is a
// directory (which some systems let fopen open, only to fail every read).
// errno tells why (EISDIR for a directory).
std::FILE* open_input_file(const std::string& path);

// Whether the path names a file that is read as it comes rather than
// stored (a named pipe, a process substitution, a terminal): such a file can
// be read once only.
bool is_piped_file(const std::string& path);

// Every byte of the file; false when it cannot be opened or read.
bool read_whole_file(const std::string& path, std::string& bytes);

// The path made absolute and normalised, for messages that must say exactly
// which file was meant; the path as given when that fails.
std::string absolute_path(const std::string& path);

// Why the file cannot be opened for reading, in the system's words ("No such
// file or directory", "Permission denied", "Is a directory"); empty when it
// can be opened. The file is not opened to find out.
std::string open_failure_reason(const std::string& path);

// The same as an errno value; 0 when the file can be opened.
int open_error_number(const std::string& path);

}  // namespace mendra
