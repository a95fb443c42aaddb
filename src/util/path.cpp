#include "util/path.h"

namespace mendra {
namespace {
bool is_separator(char c) {
  return c == '/' || c == '\\';
}
}  // namespace

PathParts split_path(std::string_view path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == ':') {
    parts.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  std::size_t name_start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (is_separator(path[i])) name_start = i + 1;
  }
  parts.directory = std::string(path.substr(0, name_start));
  const std::string_view file = path.substr(name_start);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string_view::npos) {
    parts.name = std::string(file);
  } else {
    parts.name = std::string(file.substr(0, dot));
    parts.extension = std::string(file.substr(dot));
  }
  return parts;
}

std::string make_path(const PathParts& parts) {
  std::string path = parts.drive;
  path += parts.directory;
  if (!parts.directory.empty() && !is_separator(parts.directory.back())) path += '\\';
  path += parts.name;
  if (!parts.extension.empty()) {
    if (parts.extension.front() != '.') path += '.';
    path += parts.extension;
  }
  return path;
}

std::string path_without_extension(std::string_view path) {
  PathParts parts = split_path(path);
  parts.extension.clear();
  return make_path(parts);
}

}  // namespace mendra
