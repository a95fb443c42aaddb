#include "ts/ts_delay.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ts/audio_probe.h"
#include "ts/es_scanners.h"
#include "ts/psi.h"
#include "ts/ts_packet.h"
#include "ts/ts_stream.h"
#include "util/file_failure.h"
#include "util/input_file.h"

namespace mendra {
namespace {

constexpr std::uint16_t kPatPid = 0x0000;

// Names the stream types of the programme that no scanner reads, so that a
// recording whose video is, say, VC-1 says why it cannot be measured.
void report_unmeasured_types(const ProgramStreams& program, const Log& log, LogLevel level) {
  std::string types;
  for (const std::uint8_t type : program.unmeasured_types) {
    char text[8];
    std::snprintf(text, sizeof text, " 0x%02X", static_cast<unsigned>(type));
    if (types.find(text) == std::string::npos) types += text;
  }
  if (types.empty()) return;
  log(level, "\tstream types that cannot be measured:%s\n", types.c_str());
}

// What the three passes find, and the counts the summary shows.
struct TsAnalysis {
  std::uint16_t pmt_pid = 0;
  std::vector<std::uint16_t> pat_pids;
  ProgramStreams program;
  std::optional<Ticks90k> start_pcr;
  EsPassResult video;
  EsPassResult audio;
};

// Pass 1: the PMT through the PAT (unless given), then the first PCR on the
// PCR PID that a PMT named.
void find_pids_and_pcr(PacketCursor& cursor, TsAnalysis& ts, const Log& log) {
  log(LogLevel::Debug, "\n\t==== step1: PAT/PMT/PCR ====\n");
  TsPacketHeader header;
  for (bool more = begin_packet_walk(cursor, header); more; more = next_packet(cursor, header)) {
    if (header.pid == kPatPid && ts.pmt_pid == 0) {
      skip_to_section(cursor, header);
      ts.pat_pids.clear();
      log(LogLevel::Debug, "\n\t Parse PAT\n");
      read_pat(cursor, ts.pat_pids, ts.pmt_pid, log);
      log(LogLevel::Debug, "\t PAT listup:%d\n", static_cast<int>(ts.pat_pids.size()));
    } else if (header.pid != 0 && ts.pmt_pid != 0 && header.pid == ts.pmt_pid) {
      skip_to_section(cursor, header);
      std::array<std::uint8_t, 1> table_id{};
      if (read_packet_bytes(cursor, table_id) && table_id[0] == kPmtTableId) {
        ts.program.es_pids.clear();
        ts.program.es_types.clear();
        ts.program.unmeasured_types.clear();
        ts.program.probe_candidates.clear();
        log(LogLevel::Debug, "\n\t Parse PMT  : 0x%04X\n", static_cast<unsigned>(header.pid));
        read_pmt(cursor, ts.pmt_pid, ts.program, log);
        log(LogLevel::Debug, "\t PMT listup:%d\n", static_cast<int>(ts.program.es_pids.size()));
      }
    } else if (ts.program.pcr_pid != 0 && header.pid == ts.program.pcr_pid &&
               has_adaptation_field(header)) {
      log(LogLevel::Debug, "\n\t Calc PCR   0x%04X\n", static_cast<unsigned>(header.pid));
      const std::int64_t pcr = read_pcr(cursor, header.adaptation_length);
      if (pcr >= 0) {
        log_clock(log, LogLevel::Debug, "\t\t pcr: ", pcr, "\n");
        ts.start_pcr = Ticks90k{pcr};
        log(LogLevel::Debug, "\t\t  set Start PCR\n");
        log(LogLevel::Debug, "\n\t end PAT/PMT/PCR check\n");
        break;
      }
    }
  }
  log(LogLevel::Debug, "\n");
}

// Why the first pass found nothing to measure, in the words of the stream.
std::string missing_pid_reason(const TsAnalysis& ts) {
  const ProgramStreams& program = ts.program;
  std::string reason;
  const auto add = [&reason](const std::string& part) {
    reason += reason.empty() ? part : "; " + part;
  };
  if (ts.pmt_pid == 0) {
    add("no PAT naming a programme");
  } else if (program.pcr_pid == 0 && program.es_pids.empty()) {
    char text[48];
    std::snprintf(text, sizeof text, "no PMT on PID 0x%04X", static_cast<unsigned>(ts.pmt_pid));
    add(text);
  } else {
    if (!ts.start_pcr) {
      char text[48];
      std::snprintf(text, sizeof text, "no PCR on PID 0x%04X",
                    static_cast<unsigned>(program.pcr_pid));
      add(text);
    }
    if (program.video.pid == 0) add("no video stream that can be measured");
  }
  if (reason.empty()) reason = "nothing to measure";
  return reason;
}

// Passes 2 and 3: every packet of the chosen PID to its scanner until the
// stream's start PTS is known.
void find_es_start(PacketCursor& cursor, const EsSelection& chosen, const char* step,
                   EsPassResult& result, const ScanContext& context) {
  context.log(LogLevel::Debug, "\n\t==== %s PID - PTS ====\n", step);
  chosen.scanner->run_pass(cursor, chosen.pid, result, context);
  context.log(LogLevel::Debug, "\n");
}

void print_ts_summary(const TsAnalysis& ts, const Log& log) {
  log(LogLevel::Debug, "\n");
  log(LogLevel::Debug, "\t==== TS Parse info ====\n");
  // What was not found shows as 0, as the trace always showed it.
  const auto shown = [](const std::optional<Ticks90k>& clock) {
    return clock.value_or(Ticks90k{}).count;
  };
  log_clock(log, LogLevel::Debug, "\t -- Start PCR: ", shown(ts.start_pcr), "\n");
  log_clock(log, LogLevel::Debug, "\t -- Start Video PTS: ", shown(ts.video.start_pts), "\n");
  log_clock(log, LogLevel::Debug, "\t -- Start Video PTS I-Frame: ", shown(ts.video.key_pts), "\n");
  log(LogLevel::Debug, "\t -- check  Frame Count: %d\n", ts.video.found_count);
  log(LogLevel::Debug, "\t -- through Vpid Count: %d\n", ts.video.through_count);
  if (ts.program.audio.pid != 0) {
    log_clock(log, LogLevel::Debug, "\t -- Start Audio PTS: ", shown(ts.audio.start_pts), "\n");
    log(LogLevel::Debug, "\t -- through Apid Count: %d\n", ts.audio.through_count);
  }
}

// The tmpgenc choice: the audio-based delay when it is strictly closer to
// zero, else the dgindex one.
int tmpgenc_delay_ms(int dgindex_delay_ms, int audio_delay_ms) {
  // Compared in 64 bits: the magnitude of INT_MIN does not fit an int.
  return std::llabs(audio_delay_ms) < std::llabs(dgindex_delay_ms) ? audio_delay_ms
                                                                   : dgindex_delay_ms;
}

// The tmpgenc delay fell back to the video start: says why, and names the
// stream types no scanner reads when the programme has no audio to measure.
void report_tmpgenc_fallback(const ProgramStreams& program, const Log& log) {
  if (program.audio.pid != 0) {
    log(LogLevel::Info, "\t -- tmpgenc : no audio frame found, using the video start\n");
    return;
  }
  log(LogLevel::Info, "\t -- tmpgenc : no measurable audio stream, using the video start\n");
  report_unmeasured_types(program, log, LogLevel::Info);
}

}  // namespace

int clock_delay_ms(Ticks90k pts, Ticks90k start_pcr) {
  Ticks90k pcr = start_pcr;
  // A PTS far below the PCR has wrapped past 2^33: bring the PCR into its
  // turn of the clock.
  if (pts.count + kClockWrapThreshold < start_pcr.count) pcr.count -= kClockWrap;
  const std::int64_t delay = ticks90k_to_ms(Ticks90k{pcr.count - pts.count}).count;
  // Kept as the low 32 bits of the quotient; 33-bit clocks never reach them.
  return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(delay)));
}

int delay_for_mode(const TsDelays& delays, DelayMode mode) {
  switch (mode) {
    case DelayMode::Dgindex:
      return delays.dgindex_ms;
    case DelayMode::Mpg2vfp:
      return delays.mpg2vfp_ms;
    case DelayMode::Tmpgenc:
      return delays.tmpgenc_ms;
    case DelayMode::None:
      break;
  }
  return 0;
}

bool measure_ts_delay(const std::string& ts_path, const StartRule& rule, DelayMode mode,
                      const Log& log, TsMeasurement& measured) {
  measured = TsMeasurement{};
  TsDelays& delays = measured.delays;
  TsStream stream;
  if (!stream.open(ts_path)) {
    log(LogLevel::Error, "not exist TS file...\n");
    report_open_reason(log, ts_path, open_error_number(ts_path));
    return false;
  }
  log(LogLevel::Debug, "\n   ==== TS parse ====\n");
  TsAnalysis ts;
  ts.pmt_pid = rule.pmt_pid;
  PacketCursor cursor{stream};
  // Once per stream: every pass walks packets of the size found here.
  cursor.layout = detect_packet_layout(stream);
  measured.packet_bytes = kTsPacketBytes + cursor.layout.prefix_bytes;

  find_pids_and_pcr(cursor, ts, log);
  const ProgramStreams& program = ts.program;
  measured.pcr_pid = program.pcr_pid;
  measured.first_pcr = ts.start_pcr;
  measured.video.pid = program.video.pid;
  measured.video.stream_type = program.video.stream_type;
  measured.audio.pid = program.audio.pid;
  measured.audio.stream_type = program.audio.stream_type;
  if (!ts.start_pcr || program.video.pid == 0) {
    log(LogLevel::Error, "\nnot found PID!!  pcr_pid:0x%4X, video_pid:0x%4X, audio_pid:0x%4X \n",
        static_cast<unsigned>(program.pcr_pid), static_cast<unsigned>(program.video.pid),
        static_cast<unsigned>(program.audio.pid));
    log(LogLevel::Error, "\t%s: %s\n", absolute_path(ts_path).c_str(),
        missing_pid_reason(ts).c_str());
    report_unmeasured_types(program, log, LogLevel::Error);
    return false;
  }

  const ScanContext context{rule, log};
  find_es_start(cursor, program.video, "step2: Video", ts.video, context);
  // A stream of a known audio type wins; only without one are the
  // private-data streams probed.
  if (program.audio.pid == 0 && !program.probe_candidates.empty()) {
    ts.program.audio = probe_private_audio(cursor, program.probe_candidates, log);
    measured.audio.pid = program.audio.pid;
    measured.audio.stream_type = program.audio.stream_type;
  }
  if (program.audio.pid != 0) {
    find_es_start(cursor, program.audio, "step3: Audio", ts.audio, context);
  }
  stream.close();
  print_ts_summary(ts, log);
  measured.video.start_pts = ts.video.start_pts;
  measured.audio.start_pts = ts.audio.start_pts;

  int audio_delay_ms = 0;
  const bool video_found = ts.video.start_pts && ts.video.key_pts;
  if (video_found) {
    delays.dgindex_ms = clock_delay_ms(*ts.video.start_pts, *ts.start_pcr);
    delays.mpg2vfp_ms = clock_delay_ms(*ts.video.key_pts, *ts.start_pcr);
    if (ts.audio.start_pts) audio_delay_ms = clock_delay_ms(*ts.audio.start_pts, *ts.start_pcr);
  }
  // Without an audio start there is no audio delay to choose.
  const bool audio_found = measured.audio.start_pts.has_value();
  delays.tmpgenc_ms =
      audio_found ? tmpgenc_delay_ms(delays.dgindex_ms, audio_delay_ms) : delays.dgindex_ms;
  if (video_found) {
    TsStarts& starts = measured.starts;
    starts.dgindex_pts = ts.video.start_pts;
    starts.mpg2vfp_pts = ts.video.key_pts;
    // The tmpgenc delay differs from the dgindex one only when it took the
    // audio start.
    const bool audio_chosen = audio_found && delays.tmpgenc_ms != delays.dgindex_ms;
    starts.tmpgenc_pts = audio_chosen ? ts.audio.start_pts : ts.video.start_pts;
  }

  log(LogLevel::Debug, "\n");
  log(LogLevel::Info, "\tTS read delay\n");
  log(LogLevel::Info, "\t -- dgindex : %d msec\n", delays.dgindex_ms);
  log(LogLevel::Info, "\t -- mpg2vfp : %d msec\n", delays.mpg2vfp_ms);
  log(LogLevel::Info, "\t -- tmpgenc : %d msec\n", delays.tmpgenc_ms);
  log(LogLevel::Info, "\n");
  if (mode == DelayMode::Tmpgenc && !audio_found) report_tmpgenc_fallback(program, log);
  return true;
}

}  // namespace mendra
