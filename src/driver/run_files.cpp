#include "driver/run_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "util/input_file.h"
#include "util/output_file.h"

namespace mendra {
namespace {

constexpr const char* kStandardOutput = "standard output";

// The path an output under `path` would be written to, with every link
// followed and the folder spelt one way: "./out/x.srt", "out//x.srt" and a
// link to out/ are one place.
std::string path_identity(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path resolved = resolve_links(path);
  std::filesystem::path absolute = std::filesystem::absolute(resolved, ignored);
  if (absolute.empty()) absolute = resolved;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ignored);
  return "path " + (canonical.empty() ? absolute.lexically_normal() : canonical).string();
}

std::string file_identity(const struct stat& info) {
  return "file " + std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(info.st_ino));
}

}  // namespace

std::string output_identity(const std::string& path) {
  if (path == "-") return kStandardOutput;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return file_identity(info);
  return path_identity(path);
}

const RunFiles::Written* already_written(const RunFiles& run, const std::string& path) {
  const std::string identity = output_identity(path);
  for (const RunFiles::Written& written : run.written) {
    if (written.file == identity || written.path == identity) return &written;
  }
  return nullptr;
}

void note_written(RunFiles& run, const std::string& path, const std::string& input) {
  const bool standard_output = path == "-";
  run.written.push_back(RunFiles::Written{
      output_identity(path), standard_output ? kStandardOutput : path_identity(path),
      standard_output ? kStandardOutput : path, input == "-" ? "standard input" : input});
}

const std::string* piped_bytes(RunFiles& run, const std::string& path) {
  const std::string identity = output_identity(path);
  if (const auto kept = run.piped.find(identity); kept != run.piped.end()) return &kept->second;
  std::string bytes;
  if (!read_whole_file(path, bytes)) return nullptr;
  return &run.piped.emplace(identity, std::move(bytes)).first->second;
}

}  // namespace mendra
