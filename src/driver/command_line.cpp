#include "driver/command_line.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "driver/input_flow.h"
#include "util/path.h"

namespace mendra {
namespace {

// The option state of the walk: what every input starts from (built in, or
// what a -all made it), what the options since the previous input add to the
// built-in defaults (what a -all would make the new defaults), and the
// choices of the input about to come.
struct WalkState {
  InputOptions defaults;
  InputOptions since_input;
  InputOptions current;

  void option(const Argument& argument) {
    apply_option(argument, current);
    apply_option(argument, since_input);
  }
  void all() {
    defaults = since_input;
    current = defaults;
  }
  void input_done() {
    current = defaults;
    since_input = InputOptions{};
  }
};

// The number of inputs from arguments[from] up to the next -all.
int inputs_until_next_all(const std::vector<Argument>& arguments, std::size_t from) {
  int inputs = 0;
  for (std::size_t j = from; j < arguments.size() && arguments[j].kind != ArgumentKind::All; ++j) {
    if (arguments[j].kind == ArgumentKind::Input) ++inputs;
  }
  return inputs;
}

// Refuses a -all that would hand a file meant for one input to several of
// them (those up to the next -all). A cut list is shared by the subtitle
// tracks of one recording, and an -o that names a folder takes every
// output under its default name, but an -o that names a file cannot.
bool check_all_marker(const std::vector<Argument>& arguments, std::size_t at,
                      const InputOptions& since_input, const Log& log) {
  if (!since_input.output_path) return true;
  const bool standard_output = *since_input.output_path == "-";
  if (!standard_output && names_folder(*since_input.output_path)) return true;
  const int inputs = inputs_until_next_all(arguments, at + 1);
  if (inputs <= 1) return true;
  log(LogLevel::Error, "-all: -o names a file for one input and cannot apply to %d inputs\n",
      inputs);
  return false;
}

// A value that its row refuses where it stands (-fps-change, -sync,
// -chapters-out): named with its option, and nothing runs.
bool check_option_value(const Argument& argument, const Log& log) {
  if (!argument.bad_value || argument.row->value.bad_value != BadValue::RefusesOption) return true;
  log(LogLevel::Error, "%s\n", fault_message(fault_of(argument)).c_str());
  return false;
}

// What makes one input impossible whatever its files hold: a value its row
// refuses for the input (a format name that is none), -json without a
// recording to measure, the standard input without a cut list or a delay to
// apply.
bool check_input(std::string_view input, const InputOptions& options, const Log& log) {
  if (const ValueFault* fault = first_fault(options, BadValue::RefusesInput)) {
    log(LogLevel::Error, "%s\n", fault_message(*fault).c_str());
    return false;
  }
  if (options.json && !(is_stream_input(input) && options.delay_mode != DelayMode::None)) {
    log(LogLevel::Error,
        "-json needs a recording (.ts, .m2ts, .mts, .m2t) measured with -md, -mv or -mt: %.*s\n",
        static_cast<int>(input.size()), input.data());
    return false;
  }
  if (input != "-") return true;
  if (options.delay_mode != DelayMode::None && !options.stream_path) {
    log(LogLevel::Error,
        "-: there is no recording beside the standard input: name it with -stream\n");
    return false;
  }
  const bool has_delay = options.delay_ms != 0 || options.delay_mode != DelayMode::None;
  if (!options.cut_list_path && !has_delay && !options.nocut) {
    log(LogLevel::Error,
        "-: name the cut list of the standard input with an option, or give a delay\n");
    return false;
  }
  return true;
}

// An argument that is read by its first letter but is spelt nearly like an
// option word ("-timecode" for -timecodes) still acts by its letter, as it
// always has; the warning says which option it became.
void warn_about_letter_form(const Argument& argument, const Log& log) {
  const OptionRow& row = *argument.row;
  if (row.match != OptionMatch::Letter || argument.text.size() <= 2) return;
  const OptionRow* word = nearest_word_option(argument.text);
  if (word == nullptr) return;
  log(LogLevel::Warning, "%.*s is read as %s (%s); did you mean %s?\n",
      static_cast<int>(argument.text.size()), argument.text.data(), row.spelling,
      row.noun != nullptr ? row.noun : "", word->spelling);
}

void report_unknown_option(std::string_view text, const Log& log) {
  const OptionRow* word = nearest_word_option(text);
  if (word == nullptr) {
    log(LogLevel::Error, "unknown option: %.*s\n", static_cast<int>(text.size()), text.data());
    return;
  }
  log(LogLevel::Error, "unknown option: %.*s (did you mean %s?)\n", static_cast<int>(text.size()),
      text.data(), word->spelling);
}

// Checks the whole command line with the walk's own rules before anything
// is processed, so that a run never stops half done on a mistake it could
// have seen at the start.
bool check_command_line(const std::vector<Argument>& arguments, const Log& log) {
  WalkState state;
  int standard_inputs = 0;
  int standard_outputs = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Argument& argument = arguments[i];
    switch (argument.kind) {
      case ArgumentKind::Unknown:
        report_unknown_option(argument.text, log);
        print_usage(stderr);
        return false;
      case ArgumentKind::Option:
        warn_about_letter_form(argument, log);
        if (!check_option_value(argument, log)) return false;
        state.option(argument);
        break;
      case ArgumentKind::All:
        if (!check_all_marker(arguments, i, state.since_input, log)) return false;
        state.all();
        break;
      case ArgumentKind::Input:
        if (!check_input(argument.text, state.current, log)) return false;
        if (argument.text == "-") ++standard_inputs;
        if (state.current.output_path == "-") ++standard_outputs;
        state.input_done();
        break;
      case ArgumentKind::Help:  // "-help" asks for the usage as --help does
      case ArgumentKind::Version:
      case ArgumentKind::MissingValue:
        break;
    }
  }
  if (standard_inputs > 1) {
    log(LogLevel::Error, "the standard input (-) can be read by one input only\n");
    return false;
  }
  if (standard_outputs > 1) {
    log(LogLevel::Error, "-o -: the standard output can take the output of one input only\n");
    return false;
  }
  return true;
}

}  // namespace

bool names_folder(const std::string& output) {
  const bool ends_with_separator =
      !output.empty() && (output.back() == '/' || output.back() == '\\');
  struct stat info {};
  return ends_with_separator || (stat(output.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

std::string default_output_base(const std::string& input,
                                const std::optional<std::string>& output) {
  if (!output) return path_without_extension(input) + "_new";
  const std::string& value = *output;
  // An -o that names a folder writes into it under the default name;
  // without this, "-o outdir/" would write the hidden file "outdir/.ass".
  if (names_folder(value)) {
    const bool ends_with_separator = value.back() == '/' || value.back() == '\\';
    const std::string folder = ends_with_separator ? value : value + "/";
    return folder + split_path(input).name + "_new";
  }
  return path_without_extension(value);
}

int run_mendra(const char* const* argv) {
  if (argv == nullptr || argv[0] == nullptr || argv[1] == nullptr) {
    print_usage(stderr);
    return kExitUsage;
  }
  // The command line's own messages; the options' levels apply to the
  // inputs, and a warning or an error shows under -silent as well.
  const Log log{stderr_message_sink, nullptr, LogLevel::Info};
  const std::vector<Argument> arguments = classify_arguments(argv + 1);
  if (!check_command_line(arguments, log)) return kExitUsage;
  WalkState state;
  RunFiles outputs;
  bool input_met = false;
  bool information_asked = false;  // the usage or the version
  int status = kExitSuccess;
  for (const Argument& argument : arguments) {
    switch (argument.kind) {
      case ArgumentKind::Help:
        // Asked for: standard output, so that it can be paged.
        print_usage(stdout);
        information_asked = true;
        break;
      case ArgumentKind::Version:
        std::printf("mendra %s\n", mendra_version());
        information_asked = true;
        break;
      case ArgumentKind::Option:
        state.option(argument);
        break;
      case ArgumentKind::All:
        state.all();
        break;
      case ArgumentKind::Input:
        input_met = true;
        if (!process_input(std::string(argument.text), state.current, outputs)) {
          status = kExitFailure;
        }
        state.input_done();
        break;
      case ArgumentKind::MissingValue:
        log(LogLevel::Error, "missing value for %.*s\n", static_cast<int>(argument.text.size()),
            argument.text.data());
        print_usage(stderr);
        return kExitUsage;
      case ArgumentKind::Unknown:
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
