// A recording given as the input: measured, nothing re-timed or written.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "driver/input_flow.h"
#include "ts/ts_delay.h"
#include "util/input_file.h"

namespace mendra {
namespace {

// A JSON string: quotes, backslashes and control characters escaped; other
// bytes (UTF-8 file names) as they are.
std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string json_stream(const TsStreamStart& stream) {
  if (!stream.start_pts) return "null";
  char text[128];
  std::snprintf(text, sizeof text, "{\"pid\": %u, \"stream_type\": %u, \"start_pts\": %" PRId64 "}",
                static_cast<unsigned>(stream.pid), static_cast<unsigned>(stream.stream_type),
                stream.start_pts->count);
  return text;
}

std::string json_pts(const std::optional<Ticks90k>& pts) {
  return pts ? std::to_string(pts->count) : "null";
}

// The video as the mode measured it: mpg2vfp starts at the key picture,
// the others at the dgindex start.
TsStreamStart video_for_mode(const TsMeasurement& measurement, DelayMode mode) {
  TsStreamStart video = measurement.video;
  if (mode == DelayMode::Mpg2vfp) video.start_pts = measurement.starts.mpg2vfp_pts;
  return video;
}

void print_json(const std::string& path, const TsMeasurement& measurement, DelayMode mode,
                bool measured) {
  std::string out = "{\"stream\": " + json_string(path);
  if (!measured) {
    const std::string reason = open_failure_reason(path);
    out += ", \"error\": " +
           json_string(reason.empty() ? "no PCR or video start could be measured" : reason) + "}";
    std::printf("%s\n", out.c_str());
    return;
  }
  // Each demultiplexer's own start and delay, side by side.
  const TsStarts& starts = measurement.starts;
  char text[768];
  std::snprintf(text, sizeof text,
                ", \"packet_size\": %d, \"pcr_pid\": %u, \"first_pcr\": %" PRId64
                ", \"video\": %s, \"audio\": %s, \"start_pts\": {\"dgindex\": %s, "
                "\"mpg2vfp\": %s, \"tmpgenc\": %s}, \"delay_ms\": {\"dgindex\": %d, "
                "\"mpg2vfp\": %d, \"tmpgenc\": %d}}",
                measurement.packet_bytes, static_cast<unsigned>(measurement.pcr_pid),
                measurement.first_pcr.value_or(Ticks90k{}).count,
                json_stream(video_for_mode(measurement, mode)).c_str(),
                json_stream(measurement.audio).c_str(), json_pts(starts.dgindex_pts).c_str(),
                json_pts(starts.mpg2vfp_pts).c_str(), json_pts(starts.tmpgenc_pts).c_str(),
                measurement.delays.dgindex_ms, measurement.delays.mpg2vfp_ms,
                measurement.delays.tmpgenc_ms);
  out += text;
  std::printf("%s\n", out.c_str());
}

}  // namespace

bool measure_only(const std::string& stream, const InputOptions& options) {
  Log log{stderr_message_sink, nullptr, options.log_level};
  // The JSON object takes the place of the measurement's text; errors and,
  // when asked for, the traces still go to standard error.
  if (options.json && log.level == LogLevel::Info) log.level = LogLevel::Warning;
  StartRule rule;
  rule.gop_offset = options.gop_offset;
  rule.pmt_pid = options.pmt_pid;
  TsMeasurement measurement;
  const bool measured = measure_ts_delay(stream, rule, options.delay_mode, log, measurement);
  if (options.json) print_json(stream, measurement, options.delay_mode, measured);
  return measured;
}

}  // namespace mendra
