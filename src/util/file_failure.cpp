#include "util/file_failure.h"

#include <cstring>

#include "util/input_file.h"

namespace mendra {

void report_open_reason(const Log& log, std::string_view path, int error_number) {
  if (error_number == 0) return;
  log(LogLevel::Error, "\t%s: %s\n", absolute_path(std::string(path)).c_str(),
      std::strerror(error_number));
}

void report_file_failure(const Log& log, const FileFailure& failure) {
  const auto role_size = static_cast<int>(failure.role.size());
  if (failure.action == FileAction::Open) {
    log(LogLevel::Error, "%.*s open error: %.*s\n", role_size, failure.role.data(),
        static_cast<int>(failure.name.size()), failure.name.data());
    report_open_reason(log, failure.path, failure.error_number);
    return;
  }
  const char* action = failure.action == FileAction::Read ? "read" : "write";
  const auto path_size = static_cast<int>(failure.path.size());
  if (failure.error_number == 0) {
    log(LogLevel::Error, "%.*s %s error: %.*s\n", role_size, failure.role.data(), action, path_size,
        failure.path.data());
    return;
  }
  log(LogLevel::Error, "%.*s %s error: %.*s: %s\n", role_size, failure.role.data(), action,
      path_size, failure.path.data(), std::strerror(failure.error_number));
}

}  // namespace mendra
