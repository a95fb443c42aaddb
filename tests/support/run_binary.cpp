#include "support/run_binary.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace mendra::test {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool write_file(const std::filesystem::path& path, std::string_view content) {
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return static_cast<bool>(out);
}

FileSet snapshot(const std::filesystem::path& root) {
  FileSet files;
  if (!std::filesystem::exists(root)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), root).generic_string()] =
          read_file(entry.path());
    }
  }
  return files;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path = std::filesystem::temp_directory_path() /
         ("mendra-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

RunResult run_binary(const std::string& binary, const std::vector<std::string>& args,
                     const std::filesystem::path& work_dir, const std::filesystem::path& input,
                     int timeout_seconds) {
  const std::filesystem::path out_path =
      work_dir.parent_path() / (work_dir.filename().string() + ".stdout");
  const std::filesystem::path err_path =
      work_dir.parent_path() / (work_dir.filename().string() + ".stderr");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open(input.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(work_dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  RunResult result;
  if (timeout_seconds <= 0) {
    waitpid(pid, &status, 0);
  } else {
    // A watchdog ends a run that does not end by itself.
    std::mutex mutex;
    std::condition_variable ended;
    bool exited = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> lock(mutex);
      if (!ended.wait_for(lock, std::chrono::seconds(timeout_seconds), [&] { return exited; })) {
        result.timed_out = true;
        kill(pid, SIGKILL);
      }
    });
    waitpid(pid, &status, 0);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      exited = true;
    }
    ended.notify_one();
    watchdog.join();
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standard_output = read_file(out_path);
  result.standard_error = read_file(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return result;
}

}  // namespace mendra::test
