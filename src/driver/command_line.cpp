#include "driver/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "subtitle/rewrite.h"
#include "ts/d2v.h"
#include "util/frame_clock.h"
#include "util/frame_rate.h"
#include "util/input_file.h"
#include "util/path.h"
#include "util/rate_parse.h"
#include "util/scan.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

#ifndef MENDRA_VERSION
#define MENDRA_VERSION "unknown"
#endif

constexpr const char kVersion[] = MENDRA_VERSION;

constexpr const char kUsage[] =
    "mendra " MENDRA_VERSION
    "\n"
    "\n"
    "usage:\n"
    "  mendra [<options>] <input{.ass|.srt}> [[<options>] <input> ...]\n"
    "  (options apply to the next input only)\n"
    "\n"
    "options:\n"
    "  -l <AviUtl_DelList.txt>       default: input_del.txt\n"
    "  -t <trimfile.avs>\n"
    "  -v <vcffile.vcf>\n"
    "  -k{1|2|3} <TMPGEnc.keyframe>\n"
    "  -edl <list.edl>               cut: START END [ACTION] per line\n"
    "  -segments <segments.csv>      kept: start,end[,label] per line\n"
    "  -o <output{.ass|.srt}>        default: input_new{.ass|.srt}\n"
    "  -fps <frame_rate_value>       default: 30\n"
    "  -rate <N/D|fps>               exact rate, wins over -fps: 25, 30000/1001, 29.97\n"
    "  -delay <msec>\n"
    "  -md            : parse tsfile.  [for dgindex]\n"
    "  -mv            : parse tsfile.  [for mpg2vfp]\n"
    "  -mt            : parse tsfile.  [for tmpgenc]\n"
    "  -pmt_pid <PID> : select PMT PID \n"
    "  -gop <start_offset>             [dgindex only]\n"
    "  -stream <file.ts|.m2ts>       default: input.ts\n"
    "  -debug  : show debug info.\n"
    "  -silent : show error only.\n"
    "  -all    : options before it apply to every later input.\n"
    "  -h, --help : show this usage.   --version : show the version.\n";

// What an option argument asks for: nothing (ignored or already applied),
// or a value from the next argument for the given row.
enum class Pending {
  None,
  Delay,
  Fps,
  Gop,
  CutList,
  Output,
  PmtPid,
  Rate,
  Stream,
};

// Every cut-list option names its kind when it is met; its value is the path.
Pending cut_list_option(CutListKind kind, InputChoices& choices) {
  choices.cut_list_kind = kind;
  return Pending::CutList;
}

// Recognises one option by its second character; options that need a value
// return which one, the others take effect at once.
Pending recognise_option(std::string_view arg, InputChoices& choices, RunSettings& settings) {
  if (arg == "-rate") return Pending::Rate;
  if (arg.size() < 2) return Pending::None;
  // Exact words first: "-stream" and "-segments" would otherwise fall to
  // the s row.
  if (arg == "-stream") return Pending::Stream;
  if (arg == "-edl") return cut_list_option(CutListKind::Edl, choices);
  if (arg == "-segments") return cut_list_option(CutListKind::KeptSegments, choices);
  switch (std::tolower(static_cast<unsigned char>(arg[1]))) {
    case 'd':
      if (arg == "-delay") return Pending::Delay;
      if (arg == "-debug") {
        settings.log_info = log_print;
        settings.log_debug = log_print;
      }
      return Pending::None;
    case 'f':
      return arg == "-fps" ? Pending::Fps : Pending::None;
    case 'g':
      return arg == "-gop" ? Pending::Gop : Pending::None;
    case 'h':
      return Pending::None;  // the walk prints the usage
    case 'k':
      // Every argument of this row names a keyframe list; the exact words
      // pick the pairing, anything else lets the file decide.
      if (arg == "-k1") {
        choices.cut_list_kind = CutListKind::KeyOdd;
      } else if (arg == "-k2") {
        choices.cut_list_kind = CutListKind::KeyEven;
      } else if (arg == "-k3") {
        choices.cut_list_kind = CutListKind::KeyRanges;
      } else {
        choices.cut_list_kind = CutListKind::KeyAuto;
      }
      return Pending::CutList;
    case 'l':
      return cut_list_option(CutListKind::DelList, choices);
    case 'm':
      if (arg == "-md") choices.delay_mode = DelayDgindex;
      if (arg == "-mv") choices.delay_mode = DelayMpg2vfp;
      if (arg == "-mt") choices.delay_mode = DelayTmpgenc;
      return Pending::None;
    case 'o':
      return Pending::Output;
    case 'p':
      return arg == "-pmt_pid" ? Pending::PmtPid : Pending::None;
    case 's':
      if (arg == "-silent") {
        settings.log_info = log_silent;
        settings.log_debug = log_silent;
      }
      return Pending::None;
    case 't':
      return cut_list_option(CutListKind::AvsTrim, choices);
    case 'v':
      return cut_list_option(CutListKind::VcfRanges, choices);
    default:
      return Pending::None;
  }
}

void apply_value(Pending pending, const std::string& value, InputChoices& choices,
                 RunSettings& settings) {
  switch (pending) {
    case Pending::Delay:
      settings.delay_ms = parse_atoi(value);
      break;
    case Pending::Fps:
      settings.fps = usable_fps(parse_atoi(value));
      break;
    case Pending::Gop:
      settings.gop_offset = parse_atoi(value);
      if (settings.gop_offset < 1) settings.gop_offset = 0;
      break;
    case Pending::CutList:
      choices.cut_list_path = value;  // the kind was set with the option
      break;
    case Pending::Output:
      choices.output_path = value;
      break;
    case Pending::PmtPid:
      settings.pmt_pid = pmt_pid_from_text(value);
      break;
    case Pending::Rate: {
      // Reported when the input is processed, so that it fails like any
      // other input whose options cannot be honoured.
      FrameRate rate;
      if (parse_frame_rate(value, rate)) {
        settings.rate = rate;
        choices.invalid_rate.reset();
      } else {
        settings.rate.reset();
        choices.invalid_rate = value;
      }
      break;
    }
    case Pending::Stream:
      choices.stream_path = value;
      break;
    case Pending::None:
      break;
  }
}

// "25/1 (25.000 fps)": the fraction every conversion uses, and its value
// rounded to thousandths.
void print_frame_rate(FrameRate rate, const RunSettings& settings) {
  settings.log_info(stderr, "\tframe rate  : %s\n", frame_rate_line(constant_clock(rate)).c_str());
}

void report_written(const std::string& path, const RunSettings& settings) {
  settings.log_info(stderr, "written: %s\n", path.c_str());
}

// Re-times one format of the input, read and written under `extension`, and
// names the file written. False when it could not be written.
bool rewrite_and_report(const SubtitleFormat& format, const std::string& input_base,
                        const std::string& output_base, std::string_view extension,
                        const CutMap& map, const RunSettings& settings) {
  if (rewrite_file(format, input_base, output_base, map, settings, extension) !=
      RewriteOutcome::Written) {
    return false;
  }
  report_written(output_base + std::string(extension), settings);
  return true;
}

// Re-times with only the delay: the cut list could not be read, but a delay
// was asked for, so every time moves by it through the identity map.
bool apply_delay_only(const std::string& extension, const std::string& input_base,
                      const std::string& output_base, RunSettings& settings, CutMap& map) {
  make_identity_map(map);
  settings.log_info(stderr, "\nOnly adaptation of delay is performed\n  delay:  ");
  // A format's times hold the delay only to their own precision, so it is
  // cut to that, in place, before the format is re-timed.
  std::string_view file_extension;  // the format's own
  std::vector<std::string> written;
  bool all_written = true;
  // Set for another extension when some format exists beside the input: a
  // missing one is then no failure and no error.
  bool skip_missing = false;
  const auto delay_step = [&](const SubtitleFormat& format, const char* separator) {
    settings.delay_ms = settings.delay_ms / format.delay_step_ms * format.delay_step_ms;
    settings.log_info(stderr, "[%s] %d msec%s", format.label, settings.delay_ms, separator);
    const std::string_view used = file_extension.empty() ? format.extension : file_extension;
    if (skip_missing && !can_read_text_file(input_base + std::string(used))) return;
    if (rewrite_file(format, input_base, output_base, map, settings, used) ==
        RewriteOutcome::Written) {
      written.push_back(output_base + std::string(used));
    } else {
      all_written = false;
    }
  };
  if (const SubtitleFormat* matched = find_subtitle_format(extension)) {
    // The input is read, and the output written, under the extension it was
    // named with (.ASS as much as .ass).
    file_extension = extension;
    delay_step(*matched, "");
  } else {
    // Every format, the finest times first: a coarser one cuts the delay
    // that the ones after it receive.
    std::vector<const SubtitleFormat*> formats;
    for (const SubtitleFormat& format : subtitle_formats()) {
      formats.push_back(&format);
      if (can_read_text_file(input_base + format.extension)) skip_missing = true;
    }
    std::ranges::stable_sort(formats, {}, &SubtitleFormat::delay_step_ms);
    for (std::size_t i = 0; i < formats.size(); ++i) {
      delay_step(*formats[i], i + 1 < formats.size() ? "    " : "");
    }
  }
  settings.log_info(stderr, "\n\n");
  // After the delay line, which the rewrites must not break up.
  for (const std::string& path : written) report_written(path, settings);
  return all_written;
}

// Measures the delay from the stream beside the input (or the one a DGIndex
// project names, or the one -stream names, which wins over both). False when
// nothing could be measured; may move input_base to the subtitle that lies
// beside the stream.
bool measure_for_input(const std::string& input, const std::string& extension,
                       const InputChoices& choices, std::string& input_base,
                       RunSettings& settings) {
  std::string ts_base;
  if (extension == ".d2v") {
    // The project's start offset applies to a stream named by -stream too.
    read_d2v(input, settings.d2v_start_bytes, ts_base, settings);
    if (ts_base.empty() && !choices.stream_path) {
      // The project could not be read far enough to name its stream: there
      // is nothing to measure, and a subtitle re-timed without the delay it
      // asked for would be wrong.
      settings.log_error(stderr, "not exist TS file...\n");
      return false;
    }
  } else {
    ts_base = input_base;
  }
  std::string ts_path = ts_base + ".ts";
  if (choices.stream_path) {
    ts_path = *choices.stream_path;
    ts_base = path_without_extension(ts_path);
  }
  TsDelays delays;
  const bool measured = measure_ts_delay(ts_path, settings, delays, choices.delay_mode);
  if (measured) settings.ts_delay_ms = delay_for_mode(delays, choices.delay_mode);
  // A subtitle beside the stream, of any format, becomes the input.
  for (const SubtitleFormat& format : subtitle_formats()) {
    if (can_read_text_file(ts_base + format.extension)) {
      input_base = ts_base;
      break;
    }
  }
  return measured;
}

// Follows an open error with the file's full path and the system's reason,
// when the file itself could not be opened (not when it was read but not
// understood).
void report_open_failure(const std::string& path, const RunSettings& settings) {
  const std::string reason = open_failure_reason(path);
  if (reason.empty()) return;
  settings.log_error(stderr, "\t%s: %s\n", absolute_path(path).c_str(), reason.c_str());
}

// One argument as the walk takes it: an option with the value it consumes,
// an input, or a word the walk handles itself.
enum class ArgumentKind { Help, Version, Option, All, Input, MissingValue };

struct Argument {
  ArgumentKind kind = ArgumentKind::Input;
  std::string_view text;
  Pending pending = Pending::None;
  std::string_view value;  // for pending != None
};

// Sorts the arguments from `arg` up to the null entry with the walk's own
// rules, so that the number of inputs is known before the first is
// processed. An option that lacks its value ends the list.
std::vector<Argument> classify_arguments(const char* const* arg) {
  std::vector<Argument> arguments;
  // Only the kind of value an option takes matters here.
  InputChoices scratch_choices;
  RunSettings scratch_settings;
  for (; *arg != nullptr; ++arg) {
    Argument argument;
    argument.text = *arg;
    if (argument.text == "--help") {
      argument.kind = ArgumentKind::Help;
    } else if (argument.text == "--version") {
      argument.kind = ArgumentKind::Version;
    } else if (argument.text == "-all") {
      argument.kind = ArgumentKind::All;
    } else if (!is_input_argument(argument.text)) {
      argument.kind = ArgumentKind::Option;
      argument.pending = recognise_option(argument.text, scratch_choices, scratch_settings);
      if (argument.pending != Pending::None) {
        if (arg[1] == nullptr) {
          argument.kind = ArgumentKind::MissingValue;
          arguments.push_back(argument);
          break;
        }
        ++arg;
        argument.value = *arg;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

void apply_option(const Argument& argument, InputChoices& choices, RunSettings& settings) {
  recognise_option(argument.text, choices, settings);
  if (argument.pending != Pending::None) {
    apply_value(argument.pending, std::string(argument.value), choices, settings);
  }
}

// The choices that name a file for one input (the output, a cut list), which
// a -all cannot hand to several inputs; nullptr when there is none.
const char* single_input_choice(const InputChoices& choices) {
  if (choices.output_path) return "-o";
  if (choices.cut_list_path) return "a cut list";
  return nullptr;
}

// Refuses a -all that would hand a file meant for one input to several of
// them (those up to the next -all): before any input is processed, since
// the run would otherwise stop half done.
bool check_all_markers(const std::vector<Argument>& arguments, const RunSettings& settings) {
  InputChoices since_input;
  RunSettings scratch_settings;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Argument& argument = arguments[i];
    if (argument.kind == ArgumentKind::Option)
      apply_option(argument, since_input, scratch_settings);
    if (argument.kind == ArgumentKind::Input) since_input = InputChoices{};
    if (argument.kind != ArgumentKind::All) continue;
    const char* choice = single_input_choice(since_input);
    if (choice == nullptr) continue;
    int inputs = 0;
    for (std::size_t j = i + 1; j < arguments.size() && arguments[j].kind != ArgumentKind::All;
         ++j) {
      if (arguments[j].kind == ArgumentKind::Input) ++inputs;
    }
    if (inputs > 1) {
      settings.log_error(stderr,
                         "-all: %s names a file for one input and cannot apply to %d inputs\n",
                         choice, inputs);
      return false;
    }
  }
  return true;
}

}  // namespace

void print_usage(std::FILE* stream) {
  std::fputs(kUsage, stream);
}

bool is_input_argument(std::string_view arg) {
  if (arg.empty()) return true;
  if (arg[0] == '-') return false;
  if (arg[0] != '/') return true;
  // On Linux every absolute path begins with '/', which the option rows take
  // for an option prefix: a path that exists, or that has a further '/'
  // inside, is an input ("/o", "/l" and "/?" stay options).
  if (arg.find('/', 1) != std::string_view::npos) return true;
  struct stat info {};
  return stat(std::string(arg).c_str(), &info) == 0;
}

std::string default_output_base(const std::string& input,
                                const std::optional<std::string>& output) {
  if (!output) return path_without_extension(input) + "_new";
  const std::string& value = *output;
  // An -o that names a folder writes into it under the default name;
  // without this, "-o outdir/" would write the hidden file "outdir/.ass".
  const bool ends_with_separator = !value.empty() && (value.back() == '/' || value.back() == '\\');
  struct stat info {};
  if (ends_with_separator || (stat(value.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
    const std::string folder = ends_with_separator ? value : value + "/";
    return folder + split_path(input).name + "_new";
  }
  return path_without_extension(value);
}

std::uint16_t pmt_pid_from_text(const std::string& value) {
  // "0x" is put in front whatever the value holds, so "0x1f0" reads as
  // "0x0x1f0", whose conversion stops after its first digit: 0, the first
  // program. strtol saturates on overflow; the PID is the low 16 bits.
  const std::string text = "0x" + value;
  const long pid = std::strtol(text.c_str(), nullptr, 16);
  return static_cast<std::uint16_t>(static_cast<unsigned long>(pid) & 0xFFFFu);
}

bool process_input(const std::string& input, const InputChoices& choices, RunSettings& settings,
                   CutMap& map) {
  if (choices.invalid_rate) {
    settings.log_error(stderr, "invalid frame rate: %s\n", choices.invalid_rate->c_str());
    return false;
  }
  const std::string extension = split_path(input).extension;
  std::string input_base = path_without_extension(input);
  const bool default_cut_list = !choices.cut_list_path.has_value();
  const std::string cut_list_path =
      default_cut_list ? input_base + "_del.txt" : *choices.cut_list_path;
  const CutListKind cut_list_kind = default_cut_list ? CutListKind::DelList : choices.cut_list_kind;
  const std::string output_base = default_output_base(input, choices.output_path);

  const CutListRead list_read = read_cut_list(cut_list_path, cut_list_kind,
                                              run_frame_clock(settings), run_log(settings), map);
  if (list_read != CutListRead::Read) {
    if (settings.delay_ms != 0 && default_cut_list) {
      return apply_delay_only(extension, input_base, output_base, settings, map);
    }
    settings.log_error(stderr, "list file open error: %s\n", cut_list_path.c_str());
    report_open_failure(cut_list_path, settings);
    return false;
  }
  // Re-timing against a list that keeps nothing would write an empty file,
  // over the input itself when the output names it.
  if (!keeps_any_frame(map)) {
    settings.log_error(stderr, "no kept frames in %s\n", cut_list_path.c_str());
    return false;
  }

  bool measured = true;
  settings.log_info(stderr, "   ---- param option ----\n");
  settings.log_info(stderr, "\tdelay time  : %d msec\n", settings.delay_ms);
  if (settings.rate) print_frame_rate(*settings.rate, settings);
  if (choices.delay_mode != DelayNone) {
    measured = measure_for_input(input, extension, choices, input_base, settings);
  }
  settings.log_info(stderr, "\n");
  if (!measured) return false;

  if (const SubtitleFormat* matched = find_subtitle_format(extension)) {
    // The input is read, and the output written, under the extension it was
    // named with (.ASS as much as .ass).
    return rewrite_and_report(*matched, input_base, output_base, extension, map, settings);
  }
  // Another extension (a project, or none) re-times every format found
  // beside it: one that is missing while another exists is no failure and
  // no error, only all of them missing is.
  bool any_exists = false;
  for (const SubtitleFormat& format : subtitle_formats()) {
    if (can_read_text_file(input_base + format.extension)) any_exists = true;
  }
  bool all_written = true;
  for (const SubtitleFormat& format : subtitle_formats()) {
    if (any_exists && !can_read_text_file(input_base + format.extension)) continue;
    if (!rewrite_and_report(format, input_base, output_base, format.extension, map, settings)) {
      all_written = false;
    }
  }
  return all_written;
}

int run_mendra(const char* const* argv) {
  RunSettings defaults;  // what every input starts from: built in, or -all
  reset_settings(defaults);
  CutMap map;
  if (argv == nullptr || argv[0] == nullptr || argv[1] == nullptr) {
    print_usage(stderr);
    return kExitUsage;
  }
  const std::vector<Argument> arguments = classify_arguments(argv + 1);
  if (!check_all_markers(arguments, defaults)) return kExitUsage;
  InputChoices default_choices;
  // What the options since the previous input give on top of the built-in
  // defaults: what a -all makes the new defaults, replacing the old ones.
  RunSettings since_input = defaults;
  InputChoices choices_since_input;
  RunSettings settings = defaults;
  InputChoices choices;
  bool input_met = false;
  bool information_asked = false;  // --help, -h or --version
  int status = kExitSuccess;
  for (const Argument& argument : arguments) {
    switch (argument.kind) {
      case ArgumentKind::Help:
        print_usage(stdout);
        information_asked = true;
        break;
      case ArgumentKind::Version:
        std::printf("mendra %s\n", kVersion);
        information_asked = true;
        break;
      case ArgumentKind::Option:
        if (argument.text.size() >= 2 &&
            std::tolower(static_cast<unsigned char>(argument.text[1])) == 'h') {
          // Asked for: standard output, so that it can be paged.
          print_usage(stdout);
          information_asked = true;
        }
        apply_option(argument, choices, settings);
        apply_option(argument, choices_since_input, since_input);
        break;
      case ArgumentKind::All:
        defaults = since_input;
        default_choices = choices_since_input;
        settings = defaults;
        choices = default_choices;
        break;
      case ArgumentKind::Input:
        input_met = true;
        if (!process_input(std::string(argument.text), choices, settings, map)) {
          status = kExitFailure;
        }
        choices = default_choices;
        settings = defaults;
        choices_since_input = InputChoices{};
        reset_settings(since_input);
        break;
      case ArgumentKind::MissingValue:
        print_usage(stderr);
        return kExitUsage;
    }
  }
  if (!input_met && !information_asked) {
    print_usage(stderr);
    return kExitUsage;
  }
  return status;
}

}  // namespace mendra
