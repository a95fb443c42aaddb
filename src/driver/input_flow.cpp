#include "driver/input_flow.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <vector>

#include <sys/stat.h>

#include "chapter/chapters.h"
#include "cutlist/cut_list.h"
#include "cutlist/cut_timecodes.h"
#include "driver/command_line.h"
#include "driver/run_files.h"
#include "subtitle/rewrite.h"
#include "time/cut_map.h"
#include "time/frame_clock.h"
#include "time/pipeline.h"
#include "time/timing.h"
#include "ts/d2v.h"
#include "ts/ts_delay.h"
#include "util/file_failure.h"
#include "util/input_file.h"
#include "util/path.h"
#include "util/text_reader.h"

namespace mendra {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Whether two paths name one file (the same device and inode), however they
// are spelt: "./movie.srt", a link to it, or the name itself.
bool same_file(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A rate as "num/den (x.xxx fps)", rounded to thousandths in integers.
void append_rate(std::string& text, FrameRate rate) {
  const std::int64_t thousandths = (rate.num * 1000 + rate.den / 2) / rate.den;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%" PRId64 ".%03" PRId64, thousandths / 1000,
                thousandths % 1000);
  text += buffer;
}

// -fps keeps only the whole part of its value; a value typed with more than
// that is read differently than typed, which nothing else would show.
void warn_about_fps(const InputOptions& options, const Log& log) {
  if (!options.fps_given || options.rate || options.timecodes_path) return;
  const GivenInteger& given = *options.fps_given;
  if (given.read.whole_number) return;
  std::string read_as;
  append_rate(read_as, fps_frame_rate(options.fps));
  std::string message = "-fps " + given.text + " is read as " + std::to_string(options.fps) + " (" +
                        read_as + " fps)";
  if (given.read.as_rate) {
    std::string exact_text;
    append_rate(exact_text, *given.read.as_rate);
    message += "; -rate " + given.text + " gives " + exact_text + " fps";
  }
  log(LogLevel::Warning, "%s\n", message.c_str());
}

// The clock of the uncut video: a timecode file, or the constant rate of
// -rate or -fps.
bool make_clock(const InputOptions& options, const Log& log, RunFiles& run, FrameClock& clock) {
  if (options.timecodes_path) {
    const std::string& path = *options.timecodes_path;
    if (options.rate || options.fps_given) {
      log(LogLevel::Warning, "-timecodes %s wins over %s\n", path.c_str(),
          options.rate ? "-rate" : "-fps");
    }
    // A pipe given to several inputs is read at the first of them.
    if (!is_piped_file(path)) return read_timecode_file(path, log, clock);
    if (const std::string* bytes = piped_bytes(run, path)) {
      return read_timecode_bytes(*bytes, path, log, clock);
    }
    return read_timecode_file(path, log, clock);
  }
  clock = constant_clock(options.rate ? *options.rate : fps_frame_rate(options.fps));
  return true;
}

// A subtitle format that counts frames may name their rate in its first
// line (MicroDVD's "{1}{1}23.976"): the clock runs at that rate unless
// -timecodes, -rate or -fps chose one, which then wins with a warning when
// the two differ. Returns whether the clock is the file's.
bool take_subtitle_rate(const std::string& path, const SubtitleFormat* format,
                        const InputOptions& options, const Log& log, FrameClock& clock) {
  FrameRate rate{};
  if (format == nullptr || !subtitle_file_rate(*format, path, rate)) return false;
  if (!options.timecodes_path && !options.rate && !options.fps_given) {
    clock = constant_clock(rate);
    return true;
  }
  const bool same = clock.timecodes == TimecodeFormat::None &&
                    clock.rate.num * rate.den == rate.num * clock.rate.den;
  if (!same) {
    std::string named;
    append_rate(named, rate);
    log(LogLevel::Warning, "%s wins over the rate line of %s (%s fps)\n",
        options.timecodes_path ? "-timecodes"
        : options.rate         ? "-rate"
                               : "-fps",
        path.c_str(), named.c_str());
  }
  return false;
}

// The files of one input: the subtitle named (or the base of the subtitles
// beside a project), and where its cut list comes from.
struct InputFiles {
  std::string input;      // the argument
  std::string extension;  // as named (".ASS"); empty for the standard input
  std::string base;       // the subtitle's path without extension
  bool standard_input = false;
  // The input is the subtitle itself, its format known from -format or its
  // first bytes: the standard input, or a pipe named without a subtitle
  // extension (/dev/stdin, a process substitution).
  bool from_content = false;
  // The input is a chapter file (.xml, .ffmeta), re-timed on its own.
  bool chapter_input = false;
};

// Whether a file is read as it comes rather than stored (a pipe, a
// terminal), or is named as an open descriptor (/dev/stdin, /dev/fd/63,
// also when the shell redirected it from a file): such a name does not tell
// the format, nor is there a subtitle beside it.
bool reads_as_it_comes(const std::string& path) {
  constexpr std::string_view kDescriptorNames[] = {"/dev/stdin", "/dev/fd/", "/proc/self/fd/"};
  for (const std::string_view name : kDescriptorNames) {
    if (path.starts_with(name)) return true;
  }
  return is_piped_file(path);
}

// The cut list of an input: the one an option names, else <input>_del.txt,
// else the edit decision list <input>.edl that a commercial detector leaves
// beside the recording.
struct CutListChoice {
  std::string path;
  CutListKind kind = CutListKind::DelList;
  bool derived = false;
  bool any = false;      // false: none named and none can be derived (standard input)
  bool comskip = false;  // the edit decision list found beside the input
};

CutListChoice choose_cut_list(const InputFiles& files, const InputOptions& options) {
  CutListChoice choice;
  if (options.cut_list_path) {
    choice.path = *options.cut_list_path;
    choice.kind = options.cut_list_kind;
    choice.any = true;
    return choice;
  }
  if (files.standard_input) return choice;
  choice.any = true;
  choice.derived = true;
  choice.path = files.base + "_del.txt";
  const std::string edl = files.base + ".edl";
  if (!can_read_text_file(choice.path) && can_read_text_file(edl)) {
    choice.path = edl;
    choice.kind = CutListKind::Edl;
    choice.comskip = true;
  }
  return choice;
}

// Reads the cut list into `map`. A list that comes through a pipe is read
// at the first input that names it, and its bytes serve the later ones (a
// list shared by -all): a pipe cannot be read twice.
CutListRead read_list(const CutListChoice& list, std::string_view recording,
                      const FrameClock& clock, const Log& log, RunFiles& run, CutMap& map) {
  if (!is_piped_file(list.path)) {
    return read_cut_list(list.path, list.kind, clock, log, map, recording);
  }
  const std::string* bytes = piped_bytes(run, list.path);
  if (bytes == nullptr) return CutListRead::Unopened;
  return read_cut_list_bytes(*bytes, list.kind, clock, log, map, list.path, recording);
}

// Measures the delay from the stream beside the input (or the one a DGIndex
// project names, or the one -stream names, which wins over both). False when
// nothing could be measured. A subtitle named as the input is the one
// re-timed, whatever lies beside the stream; an input that names none (a
// project) takes the subtitles beside its stream.
bool measure_for_input(InputFiles& files, const InputOptions& options, const Log& log,
                       int& ts_delay_ms) {
  StartRule rule;
  rule.gop_offset = options.gop_offset;
  rule.pmt_pid = options.pmt_pid;
  std::string ts_base = files.base;
  if (equals_ignoring_case(files.extension, ".d2v")) {
    // The project's start offset applies to a stream named by -stream too.
    ts_base.clear();
    read_d2v(files.input, log, rule.d2v_start_bytes, ts_base);
    if (ts_base.empty() && !options.stream_path) {
      // The project could not be read far enough to name its stream: there
      // is nothing to measure, and a subtitle re-timed without the delay it
      // asked for would be wrong.
      log(LogLevel::Error, "not exist TS file...\n");
      log(LogLevel::Error, "\t%s: names no transport stream\n", absolute_path(files.input).c_str());
      return false;
    }
  }
  std::string ts_path = ts_base + ".ts";
  if (options.stream_path) {
    ts_path = *options.stream_path;
    ts_base = path_without_extension(ts_path);
  }
  TsMeasurement measurement;
  const bool measured = measure_ts_delay(ts_path, rule, options.delay_mode, log, measurement);
  if (measured) ts_delay_ms = delay_for_mode(measurement.delays, options.delay_mode);
  if (files.from_content || files.chapter_input ||
      find_subtitle_format(files.extension) != nullptr) {
    return measured;
  }
  for (const SubtitleFormat& format : subtitle_formats()) {
    if (can_read_text_file(ts_base + format.extension)) {
      files.base = ts_base;
      break;
    }
  }
  return measured;
}

// Where one format of the input goes and as what.
struct OutputPlan {
  std::string path;  // "-": the standard output
  const SubtitleFormat* format = nullptr;
};

// Plans the output of the subtitle read from `in_path` as `in_format`, its
// extension `extension` as named. An -o that ends in a subtitle extension is
// the output's name as given; any other -o, or none, gives the default name
// with the extension of the input. False, with the reason reported, when
// the output would need a conversion that cannot be made, or would replace
// the input without -o naming it.
bool plan_output(const InputFiles& files, const std::string& in_path,
                 const SubtitleFormat& in_format, std::string_view extension,
                 const InputOptions& options, const Log& log, OutputPlan& plan) {
  const std::optional<std::string>& named = options.output_path;
  if ((named && *named == "-") || (!named && files.from_content)) {
    plan = OutputPlan{"-", &format_from_content()};
    return true;
  }
  bool named_with_extension = false;
  if (named && !names_folder(*named)) {
    if (const SubtitleFormat* format = find_subtitle_format(split_path(*named).extension)) {
      // A format known only from the content is checked by the rewrite,
      // once it has seen the content.
      if (&in_format != &format_from_content() && !can_write_as(in_format, *format)) {
        log(LogLevel::Error, "not written: %s cannot be converted to %s\n",
            files.standard_input ? "-" : in_path.c_str(), named->c_str());
        return false;
      }
      plan = OutputPlan{*named, format};
      named_with_extension = true;
    }
  }
  if (!named_with_extension) {
    if (files.from_content) {
      // No name to give the output: an -o without a subtitle extension
      // cannot say which format the content will turn out to be.
      log(LogLevel::Error, "not written: name the output of %s with its extension, or -o -\n",
          files.standard_input ? "-" : files.input.c_str());
      return false;
    }
    plan = OutputPlan{default_output_base(files.input, named) + std::string(extension),
                      &format_from_content()};
  }
  // Only an -o that names the very file, extension and all, writes in
  // place; any other way onto the input would destroy it.
  if (!files.from_content && !named_with_extension && same_file(plan.path, in_path)) {
    log(LogLevel::Error, "not written: %s would replace the input %s\n", plan.path.c_str(),
        in_path.c_str());
    return false;
  }
  return true;
}

// What a finished rewrite says: the file and what happened to its
// subtitles.
void report_written(const OutputPlan& plan, const std::string& in_path, const RewriteCounts& counts,
                    const Log& log) {
  const char* shown = plan.path == "-" ? "standard output" : plan.path.c_str();
  log(LogLevel::Info, "written: %s (%d re-timed, %d dropped)\n", shown, counts.retimed,
      counts.dropped);
  if (counts.retimed == 0 && counts.dropped > 0) {
    log(LogLevel::Warning, "all %d subtitles of %s lie in deleted material\n", counts.dropped,
        in_path == "-" ? "standard input" : in_path.c_str());
  }
}

// One format of the input to re-time: the file read and the extension that
// the input and its output carry.
struct FormatStep {
  const SubtitleFormat* format = nullptr;
  std::string extension;
  std::string in_path;
  int delay_ms = 0;  // the delay-only path cuts it to the format's precision
};

// The format of an input known from its content: the one -format names,
// else the one its first bytes show.
const SubtitleFormat* standard_input_format(const InputOptions& options) {
  if (options.format) return find_subtitle_format("." + *options.format);
  return &format_from_content();
}

// The formats an input is re-timed as. A subtitle extension is read, and
// its output written, under the extension it was named with (.ASS as much
// as .ass). Another extension (a project, or none) re-times every format
// found beside it: one that is missing while another exists is skipped,
// only all of them missing is a failure.
std::vector<FormatStep> format_steps(const InputFiles& files, const InputOptions& options) {
  std::vector<FormatStep> steps;
  if (files.chapter_input) return steps;
  if (files.from_content) {
    steps.push_back(FormatStep{standard_input_format(options), "",
                               files.standard_input ? "-" : files.input, 0});
    return steps;
  }
  if (const SubtitleFormat* matched = find_subtitle_format(files.extension)) {
    steps.push_back(FormatStep{matched, files.extension, files.base + files.extension, 0});
    return steps;
  }
  bool any_exists = false;
  for (const SubtitleFormat& format : subtitle_formats()) {
    if (can_read_text_file(files.base + format.extension)) any_exists = true;
  }
  for (const SubtitleFormat& format : subtitle_formats()) {
    const std::string in_path = files.base + format.extension;
    if (any_exists && !can_read_text_file(in_path)) continue;
    steps.push_back(FormatStep{&format, format.extension, in_path, 0});
  }
  return steps;
}

// What an output of an input is.
enum class OutputKind {
  Subtitle,      // the subtitle of a format step
  Timecodes,     // the cut video's timecode file (-timecodes-out)
  Chapters,      // a chapter file re-timed (-chapters, or the input itself)
  ChapterMarks,  // the chapters marking the kept segments (-chapters-out)
};

// One output of an input.
struct InputOutput {
  OutputKind kind = OutputKind::Subtitle;
  const FormatStep* step = nullptr;  // for a subtitle
  std::string source;                // for re-timed chapters: the file read
  OutputPlan plan;
  PendingOutput pending;
  RewriteCounts counts;
  ChapterCounts chapter_counts;
  std::int64_t frames = 0;  // of the timecode file
  int marks = 0;            // chapters of the marks
};

// The file an output reads, if any.
const std::string* source_of(const InputOutput& output) {
  if (output.step != nullptr) return &output.step->in_path;
  if (output.kind == OutputKind::Chapters) return &output.source;
  return nullptr;
}

// Where a chapter file is written: <file base>_new.<ext> beside it, or in
// the folder -o names (an -o that names a file is the subtitle's).
std::string chapter_output_path(const std::string& chapters, const InputOptions& options) {
  const std::optional<std::string> folder =
      options.output_path && *options.output_path != "-" && names_folder(*options.output_path)
          ? options.output_path
          : std::nullopt;
  return default_output_base(chapters, folder) + split_path(chapters).extension;
}

// Plans the output of an input that is itself a chapter file, as -o plans a
// subtitle's: an -o with the input's extension is the name as given; one
// with another extension of a format is refused; any other -o, or none,
// gives the default name with the input's extension.
bool plan_chapter_input(const InputFiles& files, const InputOptions& options, const Log& log,
                        OutputPlan& plan) {
  const std::optional<std::string>& named = options.output_path;
  if (named && *named == "-") {
    plan.path = "-";
    return true;
  }
  if (named && !names_folder(*named)) {
    const std::string extension = split_path(*named).extension;
    if (equals_ignoring_case(extension, files.extension)) {
      plan.path = *named;
      return true;
    }
    if (find_subtitle_format(extension) != nullptr || names_chapter_format(extension)) {
      log(LogLevel::Error, "not written: %s cannot be converted to %s\n", files.input.c_str(),
          named->c_str());
      return false;
    }
  }
  plan.path = default_output_base(files.input, named) + files.extension;
  if (same_file(plan.path, files.input)) {
    log(LogLevel::Error, "not written: %s would replace the input %s\n", plan.path.c_str(),
        files.input.c_str());
    return false;
  }
  return true;
}

// Refuses outputs that would write a file twice: one that an earlier input
// of the run wrote, or one named for two outputs of this input; and an
// output that would replace a file this input reads (a subtitle replaces
// only its own, when -o names it).
bool check_output_paths(const InputFiles& files, const std::deque<InputOutput>& outputs,
                        const RunFiles& run, const Log& log) {
  for (auto output = outputs.begin(); output != outputs.end(); ++output) {
    const std::string& path = output->plan.path;
    const char* shown = path == "-" ? "standard output" : path.c_str();
    if (const RunFiles::Written* earlier = already_written(run, path)) {
      log(LogLevel::Error, "not written: %s was already written for %s in this run\n", shown,
          earlier->input.c_str());
      return false;
    }
    const std::string identity = output_identity(path);
    for (auto other = outputs.begin(); other != output; ++other) {
      if (output_identity(other->plan.path) == identity) {
        log(LogLevel::Error, "not written: %s is named for two outputs of %s\n", shown,
            files.standard_input ? "standard input" : files.input.c_str());
        return false;
      }
    }
    if (path == "-") continue;
    for (const InputOutput& reader : outputs) {
      const std::string* source = source_of(reader);
      // The subtitles check their own inputs when they are planned, and a
      // chapter input named by -o is re-timed in place.
      if (source == nullptr || &reader == &*output ||
          (output->step != nullptr && reader.step != nullptr)) {
        continue;
      }
      if (same_file(path, *source)) {
        log(LogLevel::Error, "not written: %s would replace the input %s\n", path.c_str(),
            source->c_str());
        return false;
      }
    }
  }
  return true;
}

// Writes every output of the input (each step's subtitle, the timecode
// file -timecodes-out names, the chapters re-timed and the chapter marks)
// and commits them as one: an input that fails in any of them leaves every
// target as it was. "written:" comes after the last rename. Each step is
// re-timed with its own delay, which it leaves in `timing` (a copy would
// copy the clock's frame table with it, and its note of times past the last
// frame would not reach the input's warning). False when the input failed.
bool write_outputs(const InputFiles& files, const std::vector<FormatStep>& steps, const CutMap& map,
                   Timing& timing, const InputOptions& options, const Log& log, RunFiles& run) {
  // Each element stays where it is: it holds an open output.
  std::deque<InputOutput> outputs;
  bool planned = true;
  for (const FormatStep& step : steps) {
    InputOutput& output = outputs.emplace_back();
    output.step = &step;
    planned &=
        plan_output(files, step.in_path, *step.format, step.extension, options, log, output.plan);
  }
  if (options.timecodes_out_path) {
    InputOutput& output = outputs.emplace_back();
    output.kind = OutputKind::Timecodes;
    output.plan.path = *options.timecodes_out_path;
  }
  if (files.chapter_input) {
    InputOutput& output = outputs.emplace_back();
    output.kind = OutputKind::Chapters;
    output.source = files.input;
    planned &= plan_chapter_input(files, options, log, output.plan);
  }
  if (options.chapters_path) {
    InputOutput& output = outputs.emplace_back();
    output.kind = OutputKind::Chapters;
    output.source = *options.chapters_path;
    output.plan.path = chapter_output_path(output.source, options);
  }
  if (options.chapters_out_path) {
    InputOutput& output = outputs.emplace_back();
    output.kind = OutputKind::ChapterMarks;
    output.plan.path = *options.chapters_out_path;
  }
  if (!planned || !check_output_paths(files, outputs, run, log)) return false;

  // The files made from the cut map alone first: their checks need no
  // subtitle read, and what goes to standard output cannot be taken back.
  for (InputOutput& output : outputs) {
    if (output.kind == OutputKind::Timecodes &&
        !prepare_cut_timecodes(output.plan.path, map, timing.clock, timing.speed, log,
                               output.pending.file, output.frames)) {
      return false;
    }
    if (output.kind == OutputKind::ChapterMarks &&
        !prepare_chapter_marks(output.plan.path, map, timing.clock, timing.speed, log,
                               output.pending.file, output.marks)) {
      return false;
    }
  }
  bool all_written = true;
  for (InputOutput& output : outputs) {
    if (output.kind == OutputKind::Chapters) {
      all_written &= retime_chapters_into(output.source, output.plan.path, map, timing, log,
                                          output.chapter_counts,
                                          output.pending.file) == ChapterOutcome::Written;
    }
    if (output.step == nullptr) continue;
    timing.delay_ms = output.step->delay_ms;
    const RewriteOutcome outcome = rewrite_into(
        *output.step->format, output.step->in_path, *output.plan.format, output.plan.path, map,
        timing, log, output.counts, output.pending, options.charset.value_or(std::string()));
    all_written &= outcome == RewriteOutcome::Written;
  }
  if (!all_written) return false;

  std::vector<OutputFile*> files_to_commit;
  files_to_commit.reserve(outputs.size());
  for (InputOutput& output : outputs) files_to_commit.push_back(&output.pending.file);
  const std::size_t failed = commit_together(files_to_commit);
  if (failed < outputs.size()) {
    const InputOutput& output = outputs[failed];
    switch (output.kind) {
      case OutputKind::Subtitle:
        report_output_failure(output.pending, output.plan.path, log);
        break;
      case OutputKind::Timecodes:
        report_cut_timecodes_failure(output.plan.path, output.pending.file, log);
        break;
      case OutputKind::Chapters:
      case OutputKind::ChapterMarks:
        report_chapters_failure(output.plan.path, output.pending.file, log);
        break;
    }
    return false;
  }
  for (const InputOutput& output : outputs) {
    note_written(run, output.plan.path, files.input);
    // Re-timed chapters go to standard output for "-"; the files made from
    // the cut map take "-" as a name.
    const char* shown = output.kind == OutputKind::Chapters && output.plan.path == "-"
                            ? "standard output"
                            : output.plan.path.c_str();
    switch (output.kind) {
      case OutputKind::Subtitle:
        report_written(output.plan, output.step->in_path, output.counts, log);
        break;
      case OutputKind::Timecodes:
        log(LogLevel::Info, "written: %s (%lld frames)\n", shown,
            static_cast<long long>(output.frames));
        break;
      case OutputKind::Chapters:
        log(LogLevel::Info, "written: %s (%d chapters, %d left out)\n", shown,
            output.chapter_counts.kept, output.chapter_counts.left_out);
        break;
      case OutputKind::ChapterMarks:
        log(LogLevel::Info, "written: %s (%d chapters)\n", shown, output.marks);
        break;
    }
  }
  return true;
}

// The steps after the delays, when given, as the lines of the parameter
// block ("\tfps change  : ...") or of the delay-only block ("  fps change:  ...").
void log_later_steps(const Timing& timing, bool delay_only, const Log& log) {
  if (changes_speed(timing.speed)) {
    log(LogLevel::Info, delay_only ? "  fps change:  %s\n" : "\tfps change  : %s\n",
        speed_step_text(timing.speed).c_str());
  }
  if (timing.sync.points > 0) {
    log(LogLevel::Info, delay_only ? "  sync:  %s\n" : "\tsync        : %s\n",
        sync_step_text(timing.sync).c_str());
  }
}

// Re-times without a cut list (-nocut, or none to be found while a delay
// was given or measured): every time moves by the delay and the later steps
// through the identity map.
bool apply_delay_only(const InputFiles& files, const InputOptions& options, Timing& timing,
                      const Log& log, RunFiles& run) {
  CutMap map;
  make_identity_map(map);
  // The measured delay acts as a given one would.
  int delay_ms = timing.delay_ms + timing.ts_delay_ms;
  timing.ts_delay_ms = 0;
  // Chapters take the whole delay: their times are written at their own
  // precision.
  timing.delay_ms = delay_ms;
  const bool other_extension = !files.from_content && !files.chapter_input &&
                               find_subtitle_format(files.extension) == nullptr;
  std::vector<FormatStep> steps = format_steps(files, options);
  if (other_extension) {
    // Every format, the finest times first: a coarser one cuts the delay
    // that the ones after it receive. Those missing are still named.
    steps.clear();
    for (const SubtitleFormat& format : subtitle_formats()) {
      steps.push_back(FormatStep{&format, format.extension, files.base + format.extension, 0});
    }
    std::ranges::stable_sort(
        steps, {}, [](const FormatStep& step) { return ms_per_unit(step.format->precision); });
  }
  log(LogLevel::Info, "\nOnly adaptation of delay is performed\n  delay:  ");
  // A format's times hold the delay only to their own precision, so it is
  // cut to that before the format is re-timed. The whole line comes first:
  // what the rewrites report goes on lines of its own after it.
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const SubtitleFormat& format = *steps[i].format;
    const int step_ms = static_cast<int>(ms_per_unit(format.precision));
    delay_ms = delay_ms / step_ms * step_ms;
    steps[i].delay_ms = delay_ms;
    log(LogLevel::Info, "[%s] %d msec%s", format.label, delay_ms,
        i + 1 < steps.size() ? "    " : "");
  }
  if (files.chapter_input || options.chapters_path) {
    log(LogLevel::Info, "%s[chapters] %d msec", steps.empty() ? "" : "    ", timing.delay_ms);
  }
  log(LogLevel::Info, "\n");
  log_later_steps(timing, true, log);
  log(LogLevel::Info, "\n");
  if (other_extension) {
    bool any_exists = false;
    for (const FormatStep& step : steps) any_exists |= can_read_text_file(step.in_path);
    if (any_exists) {
      std::erase_if(steps,
                    [](const FormatStep& step) { return !can_read_text_file(step.in_path); });
    }
  }
  const bool written = write_outputs(files, steps, map, timing, options, log, run);
  if (written) report_frames_past_end(timing.clock, log);
  return written;
}

}  // namespace

bool is_stream_input(std::string_view input) {
  // The names recorders and cameras give transport streams (.mts and .m2t
  // from camcorders).
  static constexpr std::string_view kStreamExtensions[] = {".ts", ".m2ts", ".mts", ".m2t"};
  const std::string extension = split_path(input).extension;
  return std::ranges::any_of(kStreamExtensions, [&](std::string_view stream_extension) {
    return equals_ignoring_case(extension, stream_extension);
  });
}

bool process_input(const std::string& input, const InputOptions& options, RunFiles& run) {
  const Log log{stderr_message_sink, nullptr, options.log_level};
  // A value that could not be read (-rate, -delay, -pmt_pid) fails the
  // input rather than let it run with one nobody asked for.
  if (const ValueFault* fault = first_fault(options, BadValue::FailsInput)) {
    log(LogLevel::Error, "%s\n", fault_message(*fault).c_str());
    return false;
  }
  if (options.delay_mode != DelayMode::None && is_stream_input(input)) {
    return measure_only(input, options);
  }
  InputFiles files;
  files.input = input;
  files.standard_input = input == "-";
  files.chapter_input = !files.standard_input && is_chapter_input(split_path(input).extension);
  files.from_content =
      files.standard_input || (find_subtitle_format(split_path(input).extension) == nullptr &&
                               !files.chapter_input && reads_as_it_comes(input));
  if (!files.standard_input) {
    files.extension = split_path(input).extension;
    files.base = path_without_extension(input);
  }
  // A subtitle named but missing is the input's failure, whatever its cut
  // list would have said.
  const SubtitleFormat* named_format = find_subtitle_format(files.extension);
  if (named_format != nullptr && options.delay_mode == DelayMode::None &&
      !can_read_text_file(input)) {
    const std::string role = std::string("input ") + named_format->label;
    report_file_failure(
        log, FileFailure{role, FileAction::Open, files.base, input, open_error_number(input)});
    return false;
  }
  if (files.chapter_input && options.delay_mode == DelayMode::None && !can_read_text_file(input)) {
    report_file_failure(log, FileFailure{"input chapters", FileAction::Open, files.base, input,
                                         open_error_number(input)});
    return false;
  }
  warn_about_fps(options, log);
  Timing timing;
  timing.delay_ms = options.delay_ms;
  timing.speed = options.speed;
  timing.sync = options.sync;
  if (!make_clock(options, log, run, timing.clock)) return false;
  timing.clock_named = options.timecodes_path || options.rate || options.fps_given;
  // A pipe is read once, by the rewrite: its first line is not looked at
  // before, and the rewrite fails it when that line names another rate.
  const bool file_rate = !is_piped_file(files.input) &&
                         take_subtitle_rate(files.input, named_format, options, log, timing.clock);
  // Only an -fps far beyond any video's rate makes a clock this fine.
  if ((changes_speed(timing.speed) || timing.sync.points > 0) &&
      ticks_per_ms(timing.clock) > kMaxStepTicksPerMs) {
    log(LogLevel::Error, "-fps-change and -sync need a frame rate of at most 1000000 fps\n");
    return false;
  }

  const CutListChoice cut_list = choose_cut_list(files, options);
  CutMap map;
  CutListRead read = CutListRead::Unopened;
  if (!options.nocut) {
    // Named, since the list read is not the one the input's name suggests.
    if (cut_list.comskip) log(LogLevel::Info, "cut list: %s\n", cut_list.path.c_str());
    // The recording a list that names its source should name: the stream
    // measured when -stream names it, else the input itself.
    const std::string recording = options.stream_path    ? *options.stream_path
                                  : files.standard_input ? ""
                                                         : files.input;
    if (cut_list.any) read = read_list(cut_list, recording, timing.clock, log, run, map);
  }
  // An empty list beside the input (0 bytes, as a cutter may leave it) is
  // no cut list either: a delay alone may stand in for it.
  const bool no_list = read == CutListRead::Unopened || read == CutListRead::Empty;
  if (options.nocut || (no_list && (cut_list.derived || !cut_list.any))) {
    if (options.delay_mode != DelayMode::None) {
      log(LogLevel::Info, "   ---- param option ----\n");
      log(LogLevel::Info, "\tdelay time  : %d msec\n", timing.delay_ms);
      const bool measured = measure_for_input(files, options, log, timing.ts_delay_ms);
      log(LogLevel::Info, "\n");
      if (!measured) return false;
      return apply_delay_only(files, options, timing, log, run);
    }
    if (options.nocut || timing.delay_ms != 0) {
      return apply_delay_only(files, options, timing, log, run);
    }
  }
  if (read == CutListRead::Unopened) {
    report_file_failure(log, FileFailure{"list file", FileAction::Open, cut_list.path,
                                         cut_list.path, open_error_number(cut_list.path)});
    // The default list is looked for under a second name as well.
    if (cut_list.derived && !cut_list.comskip) {
      const std::string edl = files.base + ".edl";
      report_open_reason(log, edl, open_error_number(edl));
    }
    return false;
  }
  // The reader has said why (and a list of which no line could be read
  // says so in one message, whatever its kind).
  if (read == CutListRead::Rejected) return false;
  // Re-timing against a list that keeps nothing would write an empty file,
  // over the input itself when the output names it.
  if (!keeps_any_frame(map)) {
    log(LogLevel::Error, "no kept frames in %s\n", cut_list.path.c_str());
    return false;
  }
  log(LogLevel::Info, "   ---- param option ----\n");
  log(LogLevel::Info, "\tdelay time  : %d msec\n", timing.delay_ms);
  if (options.rate || options.fps_given || options.timecodes_path || file_rate) {
    log(LogLevel::Info, "\tframe rate  : %s\n", frame_rate_line(timing.clock).c_str());
  }
  log_later_steps(timing, false, log);
  bool measured = true;
  if (options.delay_mode != DelayMode::None) {
    measured = measure_for_input(files, options, log, timing.ts_delay_ms);
  }
  log(LogLevel::Info, "\n");
  if (!measured) return false;

  const std::vector<FormatStep> steps = [&] {
    std::vector<FormatStep> found = format_steps(files, options);
    for (FormatStep& step : found) step.delay_ms = timing.delay_ms;
    return found;
  }();
  const bool written = write_outputs(files, steps, map, timing, options, log, run);
  // Subtitles may reach past the last frame of a timecode file as well.
  if (written) report_frames_past_end(timing.clock, log);
  return written;
}

}  // namespace mendra
