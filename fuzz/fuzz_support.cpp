#include "fuzz_support.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace mendra::fuzz {
namespace {

std::filesystem::path make_process_dir() {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("mendra-fuzz-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void remove_process_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(process_temp_dir(), ignored);
}

}  // namespace

const std::filesystem::path& process_temp_dir() {
  static const std::filesystem::path dir = [] {
    std::filesystem::path made = make_process_dir();
    std::atexit(remove_process_dir);
    return made;
  }();
  return dir;
}

void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  return {reinterpret_cast<const char*>(data), size};
}

Log tracing_log() {
  return Log{stderr_message_sink, nullptr, LogLevel::Debug};
}

}  // namespace mendra::fuzz
