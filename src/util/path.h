// Splitting and joining of file names by the Windows rules, the same on
// every platform: a drive letter ("C:"), both '/' and '\' as separators, and
// the extension from the last dot of the file name, dot included.
#pragma once

#include <string>
#include <string_view>

namespace mendra {

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // up to and including the last separator
  std::string name;       // file name without extension
  std::string extension;  // from the last dot of the file name, or empty
};

PathParts split_path(std::string_view path);

// Joins drive, directory (adding '\' when it lacks a trailing separator),
// name and extension (adding '.' when it lacks one).
std::string make_path(const PathParts& parts);

// The path without its extension: drive, directory and file name.
std::string path_without_extension(std::string_view path);

}  // namespace mendra
