// The argument walk: the input split at NUL and newline bytes into
// arguments, run in a fresh folder holding a few real inputs (subtitles,
// every kind of cut list, a short stream and a DGIndex project naming it),
// so options and inputs reach the readers, the measurement and the writers.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

// Enough arguments for several inputs with options; more only slows a run.
constexpr std::size_t kMaxArguments = 48;
// The head of a test stream: PAT, PMT, PCR, an I picture and audio.
constexpr std::size_t kStreamBytes = 188 * 48;

std::string read_stream_head() {
  std::ifstream in(MENDRA_FUZZ_STREAM, std::ios::binary);
  std::string bytes(kStreamBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

void write_fixtures(const fs::path& dir) {
  using mendra::fuzz::write_bytes;
  static const std::string stream = read_stream_head();
  const std::string ass =
      "[Script Info]\nTitle: t\n\n[Events]\n"
      "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
      "Dialogue: 0,0:00:03.50,0:00:07.00,Default,,0,0,0,,one\n"
      "Dialogue: 0,0:00:09.00,0:00:12.00,Default,,0,0,0,,two\n";
  const std::string srt =
      "1\n00:00:03,500 --> 00:00:07,000\none\n\n2\n00:00:09,000 --> 00:00:12,000\ntwo\n";
  write_bytes(dir / "a.ass", ass);
  write_bytes(dir / "a.srt", srt);
  write_bytes(dir / "a_del.txt", "0 * 399\n0 - 99\n200 - 299\n");
  write_bytes(dir / "a.ts", stream);
  write_bytes(dir / "b.ass", ass);
  write_bytes(dir / "b.d2v", "DGIndexProjectFile16\n1\na.ts\n\nLocation=0,1,0,0\n");
  write_bytes(dir / "cut.avs", "Trim(100,199) ++ Trim(300,-100)\n");
  write_bytes(dir / "cut.vcf", "VirtualDub.subset.AddRange(100,100);\n");
  write_bytes(dir / "cut.key", "100\n199\n300\n399\n");
  fs::create_directories(dir / "sub" / "c.ass");
}

// Keeps the run inside its folder: no argument may climb out of it or name
// an absolute path. An option may begin with '/', but so may the value that
// follows it (as the -o value "/.ass" once wrote to the filesystem root), so
// every argument that begins with a separator or a drive letter is refused.
// "-" would read the fuzzer's own standard input, which may never end.
bool stays_inside(const std::string& arg) {
  if (arg == "-") return false;
  if (arg.find("..") != std::string::npos) return false;
  if (!arg.empty() && (arg[0] == '/' || arg[0] == '\\')) return false;
  if (arg.size() >= 2 && arg[1] == ':') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path dir = mendra::fuzz::process_temp_dir() / "run";
  fs::remove_all(dir);
  fs::create_directories(dir);
  write_fixtures(dir);

  std::vector<std::string> args{"mendra"};
  std::string current;
  const std::string_view text = mendra::fuzz::as_text(data, size);
  for (std::size_t i = 0; i <= text.size() && args.size() <= kMaxArguments; ++i) {
    if (i == text.size() || text[i] == '\0' || text[i] == '\n') {
      if (stays_inside(current)) args.push_back(current);
      current.clear();
    } else {
      current.push_back(text[i]);
    }
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  mendra::run_mendra(argv.data());
  fs::current_path(previous);
  return 0;
}
