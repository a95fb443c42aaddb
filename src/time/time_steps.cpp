#include "time/time_steps.h"

#include <cstdio>
#include <numeric>

#include "time/rate_parse.h"
#include "util/scan.h"

namespace mendra {

AfterCut::Wide wide_gcd(AfterCut::Wide a, AfterCut::Wide b) {
  if (a < 0) a = -a;
  if (b < 0) b = -b;
  while (b != 0) {
    const AfterCut::Wide rest = a % b;
    a = b;
    b = rest;
  }
  return a;
}

namespace {

using Wide = AfterCut::Wide;

// Sync times stay within the int range of milliseconds, where subtitle
// times lie; the bound also keeps the map's terms inside 128 bits.
constexpr std::int64_t kMaxSyncMs = 2147483647;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::size_t kFractionDigits = 3;

// Keeps the terms small: every step multiplies them.
void reduce(AfterCut& map) {
  const Wide common = wide_gcd(wide_gcd(map.scale, map.offset), map.den);
  if (common > 1) {
    map.scale /= common;
    map.offset /= common;
    map.den /= common;
  }
}

// Digits only, at least one, at most `limit`.
bool read_number(std::string_view text, std::int64_t limit, std::int64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return false;
    value = value * 10 + (c - '0');
    if (value > limit) return false;
  }
  return true;
}

// "h:mm:ss.fff", "m:ss.fff" or seconds, at most three decimals.
bool parse_sync_time(std::string_view text, Milliseconds& time) {
  std::int64_t seconds = 0;
  int fields = 0;
  for (std::size_t colon = text.find(':'); colon != std::string_view::npos;
       colon = text.find(':')) {
    std::int64_t field = 0;
    if (++fields > 2 || !read_number(text.substr(0, colon), kMaxSyncMs, field)) return false;
    seconds = (seconds + field) * kSecondsPerMinute;
    if (seconds > kMaxSyncMs) return false;
    text.remove_prefix(colon + 1);
  }
  const std::size_t point = text.find('.');
  std::int64_t whole = 0;
  if (!read_number(text.substr(0, point), kMaxSyncMs, whole)) return false;
  std::int64_t ms = (seconds + whole) * kMsPerSecond;
  if (point != std::string_view::npos) {
    const std::string_view fraction = text.substr(point + 1);
    std::int64_t digits = 0;
    if (fraction.size() > kFractionDigits || !read_number(fraction, kMaxSyncMs, digits)) {
      return false;
    }
    for (std::size_t i = fraction.size(); i < kFractionDigits; ++i) digits *= 10;
    ms += digits;
  }
  if (ms > kMaxSyncMs) return false;
  time = Milliseconds{ms};
  return true;
}

bool parse_sync_point(std::string_view text, SyncPoint& point) {
  const std::size_t equals = text.find('=');
  return equals != std::string_view::npos && parse_sync_time(text.substr(0, equals), point.from) &&
         parse_sync_time(text.substr(equals + 1), point.to);
}

void append_rate(std::string& text, FrameRate rate) {
  text += std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

void append_sync_time(std::string& text, Milliseconds time) {
  const std::int64_t ms = time.count;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%03lld",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  text += buffer;
}

void append_point(std::string& text, const SyncPoint& point) {
  append_sync_time(text, point.from);
  text += "=";
  append_sync_time(text, point.to);
}

}  // namespace

bool parse_speed_step(std::string_view text, SpeedStep& step) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  SpeedStep read;
  if (!parse_frame_rate(text.substr(0, colon), read.from) ||
      !parse_frame_rate(text.substr(colon + 1), read.to)) {
    return false;
  }
  step = read;
  return true;
}

SyncError parse_sync_step(std::string_view text, SyncStep& step) {
  SyncStep read;
  const std::size_t comma = text.find(',');
  if (!parse_sync_point(text.substr(0, comma), read.first)) return SyncError::NotPoints;
  read.points = 1;
  if (comma != std::string_view::npos) {
    if (!parse_sync_point(text.substr(comma + 1), read.second)) return SyncError::NotPoints;
    read.points = 2;
    // Equal points say nothing about a stretch, and points out of order
    // would turn the times round.
    if (read.second.from <= read.first.from || read.second.to <= read.first.to) {
      return SyncError::OutOfOrder;
    }
  }
  step = read;
  return SyncError::None;
}

std::string speed_step_text(const SpeedStep& step) {
  std::string text;
  append_rate(text, step.from);
  text += " -> ";
  append_rate(text, step.to);
  return text;
}

std::string sync_step_text(const SyncStep& step) {
  std::string text;
  if (step.points >= 1) append_point(text, step.first);
  if (step.points >= 2) {
    text += ", ";
    append_point(text, step.second);
  }
  return text;
}

bool changes_speed(const SpeedStep& step) {
  return step.from.num * step.to.den != step.to.num * step.from.den;
}

AfterCut after_cut(std::int64_t ticks_per_ms) {
  AfterCut map;
  map.den = ticks_per_ms > 0 ? ticks_per_ms : 1;
  return map;
}

void add_step(AfterCut& map, const DelayStep& step) {
  map.offset += static_cast<Wide>(step.ms) * map.den;
}

void add_step(AfterCut& map, const SpeedStep& step) {
  if (!changes_speed(step)) return;
  // FROM / TO = (from.num * to.den) / (from.den * to.num); both terms of
  // each rate are at most kMaxRateTerm.
  Wide num = static_cast<Wide>(step.from.num) * step.to.den;
  Wide den = static_cast<Wide>(step.from.den) * step.to.num;
  const Wide common = wide_gcd(num, den);
  num /= common;
  den /= common;
  map.scale *= num;
  map.offset *= num;
  map.den *= den;
  reduce(map);
}

void add_step(AfterCut& map, const SyncStep& step) {
  if (step.points == 0) return;
  // t' = B + (t - A) * stretch, the stretch (D - B) / (C - A), or 1 for
  // one point.
  const std::int64_t a = step.first.from.count;
  const std::int64_t b = step.first.to.count;
  Wide num = 1;
  Wide den = 1;
  if (step.points == 2) {
    num = step.second.to.count - b;
    den = step.second.from.count - a;
    const Wide common = wide_gcd(num, den);
    num /= common;
    den /= common;
  }
  map.offset = (map.offset - a * map.den) * num + b * map.den * den;
  map.scale *= num;
  map.den *= den;
  reduce(map);
}

void add_ticks_step(AfterCut& map, std::int64_t ticks_per_ms) {
  if (ticks_per_ms <= 0) return;
  map.scale *= ticks_per_ms;
  map.offset *= ticks_per_ms;
  reduce(map);
}

Nanoseconds output_ns(const AfterCut& map, ClockTime t) {
  // (scale * t + offset) / den ms, with the terms of the clock and of a
  // change of speed: far inside 128 bits for any saturated clock time.
  const Wide num = (map.scale * t.ticks + map.offset) * kNsPerMs;
  Wide ns = num / map.den;
  const Wide rest = num % map.den;
  if (2 * (rest < 0 ? -rest : rest) >= map.den) ns += num < 0 ? -1 : 1;
  constexpr Wide kFar = Wide{1} << 62;
  return Nanoseconds{static_cast<std::int64_t>(ns > kFar ? kFar : ns < -kFar ? -kFar : ns)};
}

}  // namespace mendra
