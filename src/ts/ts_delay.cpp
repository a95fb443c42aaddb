#include "ts/ts_delay.h"

#include <array>
#include <cstdlib>
#include <vector>

#include "ts/audio_scan.h"
#include "ts/pes.h"
#include "ts/psi.h"
#include "ts/video_scan.h"

namespace mendra {
namespace {

constexpr std::uint16_t kPatPid = 0x0000;
constexpr int kPointerFieldBytes = 1;

// What the three passes find, and the counts the summary shows.
struct TsAnalysis {
  std::uint16_t pmt_pid = 0;
  std::uint16_t pcr_pid = 0;
  std::uint16_t video_pid = 0;
  std::uint16_t audio_pid = 0;
  std::vector<int> pat_pids;
  std::vector<int> pmt_es_pids;
  std::int64_t start_pcr = 0;
  std::int64_t start_video_pts = 0;
  std::int64_t start_iframe_pts = 0;
  std::int64_t start_audio_pts = 0;
  int check_frame_count = 0;
  int through_vpid_count = 0;
  int through_apid_count = 0;
};


// Starts a pass at the head of the stream: the first header is read.
int begin_pass(TsStream& stream, TsPacketHeader& header, int& packet_bytes_left,
               EsScanState& state) {
  packet_bytes_left = kTsPacketBytes;
  state.ts_bytes_read = 0;
  stream.seek(0);
  clear_packet_header(header);
  return read_ts_packet_header(stream, header, packet_bytes_left, state.ts_bytes_read);
}

// Pass 1: the PMT through the PAT (unless given), then the first PCR on the
// PCR PID that a PMT named.
void find_pids_and_pcr(TsStream& stream, TsAnalysis& ts, EsScanState& state,
                       const RunSettings& settings) {
  settings.log_debug(stderr, "\n\t==== step1: PAT/PMT/PCR ====\n");
  TsPacketHeader header;
  int packet_bytes_left = kTsPacketBytes;
  int status = begin_pass(stream, header, packet_bytes_left, state);
  while (status == 0) {
    if (header.pid == kPatPid && ts.pmt_pid == 0) {
      skip_to_section(stream, header, packet_bytes_left);
      ts.pat_pids.clear();
      settings.log_debug(stderr, "\n\t Parse PAT\n");
      read_pat(stream, ts.pat_pids, ts.pmt_pid, packet_bytes_left, settings);
      settings.log_debug(stderr, "\t PAT listup:%d\n", static_cast<int>(ts.pat_pids.size()));
    } else if (header.pid != 0 && ts.pmt_pid != 0 && header.pid == ts.pmt_pid) {
      skip_to_section(stream, header, packet_bytes_left);
      std::array<std::uint8_t, 1> table_id{};
      if (read_packet_bytes(stream, table_id, packet_bytes_left) == table_id.size() &&
          table_id[0] == kPmtTableId) {
        ts.pmt_es_pids.clear();
        settings.log_debug(stderr, "\n\t Parse PMT  : 0x%04X\n", static_cast<unsigned>(header.pid));
        read_pmt(stream, ts.pmt_pid, ts.pmt_es_pids, ts.pcr_pid, ts.video_pid, ts.audio_pid,
                 packet_bytes_left, state.ts_bytes_read, settings);
        settings.log_debug(stderr, "\t PMT listup:%d\n", static_cast<int>(ts.pmt_es_pids.size()));
      }
    } else if (ts.pcr_pid != 0 && header.pid == ts.pcr_pid && has_adaptation_field(header)) {
      settings.log_debug(stderr, "\n\t Calc PCR   0x%04X\n", static_cast<unsigned>(header.pid));
      const std::int64_t pcr = read_pcr(stream, header.adaptation_length, packet_bytes_left);
      if (pcr >= 0) {
        log_clock(settings.log_debug, "\t\t pcr: ", pcr, "\n");
        ts.start_pcr = pcr;
        settings.log_debug(stderr, "\t\t  set Start PCR\n");
        settings.log_debug(stderr, "\n\t end PAT/PMT/PCR check\n");
        break;
      }
    }
    status = next_packet(stream, header, packet_bytes_left, state.ts_bytes_read);
  }
  settings.log_debug(stderr, "\n");
}

// Pass 2: every packet of the video PID to the video scan until the start
// picture's PTS is known.
void find_video_start(TsStream& stream, TsAnalysis& ts, EsScanState& state,
                      const RunSettings& settings) {
  settings.log_debug(stderr, "\n\t==== step2: Video PID - PTS ====\n");
  TsPacketHeader header;
  int packet_bytes_left = kTsPacketBytes;
  reset_es_scan(state);
  int status = begin_pass(stream, header, packet_bytes_left, state);
  while (status == 0) {
    if (header.pid == ts.video_pid) {
      if (header.payload_unit_start != 0) {
        settings.log_debug(stderr, "\n\t Parse PES  : 0x%04X\n", static_cast<unsigned>(header.pid));
      }
      const int result = scan_video_payload(stream, header, packet_bytes_left, ts.start_video_pts,
                                            ts.start_iframe_pts, state, settings);
      if (result >= 0) {
        ts.check_frame_count += result;
      } else if (state.pes_seen == 0) {
        ++ts.through_vpid_count;
      }
      if (ts.start_video_pts != 0) {
        settings.log_debug(stderr, "\n\t end Video PTS check\n");
        break;
      }
    }
    status = next_packet(stream, header, packet_bytes_left, state.ts_bytes_read);
  }
  settings.log_debug(stderr, "\n");
}

// Pass 3: every packet of the audio PID to the audio scan until the first
// ADTS-AAC frame's PTS is known.
void find_audio_start(TsStream& stream, TsAnalysis& ts, EsScanState& state,
                      const RunSettings& settings) {
  settings.log_debug(stderr, "\n\t==== step3: Audio PID - PTS ====\n");
  TsPacketHeader header;
  int packet_bytes_left = kTsPacketBytes;
  reset_es_scan(state);
  int status = begin_pass(stream, header, packet_bytes_left, state);
  while (status == 0) {
    if (header.pid == ts.audio_pid) {
      if (header.payload_unit_start != 0) {
        settings.log_debug(stderr, "\n\t Parse PES  : 0x%04X\n", static_cast<unsigned>(header.pid));
      }
      const int result = scan_audio_payload(stream, header, packet_bytes_left, ts.start_audio_pts,
                                            state, settings);
      if (result < 0 && state.pes_seen == 0) ++ts.through_apid_count;
      if (ts.start_audio_pts != 0) {
        settings.log_debug(stderr, "\n\t end Audio PTS check\n");
        break;
      }
    }
    status = next_packet(stream, header, packet_bytes_left, state.ts_bytes_read);
  }
  settings.log_debug(stderr, "\n");
}

void print_ts_summary(const TsAnalysis& ts, const RunSettings& settings) {
  settings.log_debug(stderr, "\n");
  settings.log_debug(stderr, "\t==== TS Parse info ====\n");
  log_clock(settings.log_debug, "\t -- Start PCR: ", ts.start_pcr, "\n");
  log_clock(settings.log_debug, "\t -- Start Video PTS: ", ts.start_video_pts, "\n");
  log_clock(settings.log_debug, "\t -- Start Video PTS I-Frame: ", ts.start_iframe_pts, "\n");
  settings.log_debug(stderr, "\t -- check  Frame Count: %d\n", ts.check_frame_count);
  settings.log_debug(stderr, "\t -- through Vpid Count: %d\n", ts.through_vpid_count);
  if (ts.audio_pid != 0) {
    log_clock(settings.log_debug, "\t -- Start Audio PTS: ", ts.start_audio_pts, "\n");
    settings.log_debug(stderr, "\t -- through Apid Count: %d\n", ts.through_apid_count);
  }
}

// The tmpgenc choice: the audio-based delay when it is strictly closer to
// zero, else the dgindex one.
int tmpgenc_delay_ms(int dgindex_delay_ms, int audio_delay_ms) {
  // Compared in 64 bits: the magnitude of INT_MIN does not fit an int.
  return std::llabs(audio_delay_ms) < std::llabs(dgindex_delay_ms) ? audio_delay_ms
                                                                   : dgindex_delay_ms;
}

}  // namespace

void skip_to_section(TsStream& stream, const TsPacketHeader& header, int& packet_bytes_left) {
  skip_adaptation_field(stream, header, packet_bytes_left);
  // pointer_field (8): its value is not used, the section is taken to begin
  // right behind it.
  skip_packet_bytes(stream, kPointerFieldBytes, packet_bytes_left);
}

int next_packet(TsStream& stream, TsPacketHeader& header, int& packet_bytes_left,
                std::int64_t& ts_bytes_read) {
  skip_packet_bytes(stream, packet_bytes_left, packet_bytes_left);
  ts_bytes_read += kTsPacketBytes;
  packet_bytes_left = kTsPacketBytes;
  clear_packet_header(header);
  return read_ts_packet_header(stream, header, packet_bytes_left, ts_bytes_read);
}

int clock_delay_ms(std::int64_t pts, std::int64_t start_pcr) {
  std::int64_t pcr = start_pcr;
  // A PTS far below the PCR has wrapped past 2^33: bring the PCR into its
  // turn of the clock.
  if (pts + kClockWrapThreshold < start_pcr) pcr -= kClockWrap;
  const std::int64_t delay = (pcr - pts) / kClockTicksPerMs;
  // Kept as the low 32 bits of the quotient; 33-bit clocks never reach them.
  return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(delay)));
}

int measure_ts_delay(const std::string& ts_base, int mode, RunSettings& settings) {
  if (mode < 0) {
    settings.log_error(stderr, "function param err!!\n");
    return -1;
  }
  TsStream stream;
  if (!stream.open(ts_base + ".ts")) {
    settings.log_error(stderr, "not exist TS file...\n");
    return -1;
  }
  settings.log_debug(stderr, "\n   ==== TS parse ====\n");
  TsAnalysis ts;
  ts.pmt_pid = settings.pmt_pid;
  EsScanState state;

  find_pids_and_pcr(stream, ts, state, settings);
  if (ts.start_pcr == 0 || ts.video_pid == 0) {
    settings.log_error(stderr,
                       "\not found PID!!  pcr_pid:0x%4X, video_pid:0x%4X, audio_pid:0x%4X \n",
                       static_cast<unsigned>(ts.pcr_pid), static_cast<unsigned>(ts.video_pid),
                       static_cast<unsigned>(ts.audio_pid));
    return -1;
  }

  find_video_start(stream, ts, state, settings);
  if (ts.audio_pid != 0) find_audio_start(stream, ts, state, settings);
  stream.close();
  print_ts_summary(ts, settings);

  int dgindex_delay_ms = 0;
  int mpg2vfp_delay_ms = 0;
  int audio_delay_ms = 0;
  if (ts.start_video_pts != 0 && ts.start_iframe_pts != 0) {
    dgindex_delay_ms = clock_delay_ms(ts.start_video_pts, ts.start_pcr);
    mpg2vfp_delay_ms = clock_delay_ms(ts.start_iframe_pts, ts.start_pcr);
    // Without an audio start this comes from a PTS of 0, as it is.
    audio_delay_ms = clock_delay_ms(ts.start_audio_pts, ts.start_pcr);
    switch (mode) {
      case DelayDgindex:
        settings.ts_delay_ms = dgindex_delay_ms;
        break;
      case DelayMpg2vfp:
        settings.ts_delay_ms = mpg2vfp_delay_ms;
        break;
      case DelayTmpgenc:
        settings.ts_delay_ms = tmpgenc_delay_ms(dgindex_delay_ms, audio_delay_ms);
        break;
      default:
        break;  // other modes measure and print, and store nothing
    }
  }

  settings.log_debug(stderr, "\n");
  settings.log_info(stderr, "\tTS read delay\n");
  settings.log_info(stderr, "\t -- dgindex : %d msec\n", dgindex_delay_ms);
  settings.log_info(stderr, "\t -- mpg2vfp : %d msec\n", mpg2vfp_delay_ms);
  settings.log_info(stderr, "\t -- tmpgenc : %d msec\n",
                    tmpgenc_delay_ms(dgindex_delay_ms, audio_delay_ms));
  settings.log_info(stderr, "\n");
  return 1;
}

}  // namespace mendra
