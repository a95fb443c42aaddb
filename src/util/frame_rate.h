// The frame rate of the recordings: fps / 1.001 frames per second, so a
// frame lasts 1001 / fps milliseconds. Every conversion between milliseconds
// and frames goes through here, so the subtitle times and the cut summary
// agree to the last bit.
#pragma once

namespace mendra {

// What a fps below 1 counts as: the -fps option falls back to it, and a
// settings record filled elsewhere must not divide by zero either.
constexpr int kFallbackFps = 30;

// Milliseconds a frame lasts, times fps.
constexpr double kFrameMsTimesFps = 1001.0;

inline int usable_fps(int fps) {
  return fps >= 1 ? fps : kFallbackFps;
}

// A time in milliseconds as a fractional frame position.
inline double ms_to_frames(double ms, double fps) {
  return ms * fps / kFrameMsTimesFps;
}

// A fractional frame position (or a frame count) as milliseconds.
inline double frames_to_ms(double frames, double fps) {
  return frames * kFrameMsTimesFps / fps;
}

// frames_to_ms with the product formed scale first: the cut summary has
// always formed the duration of the cut frames in this order.
inline double frames_to_ms_scale_first(double frames, double fps) {
  return kFrameMsTimesFps * frames / fps;
}

}  // namespace mendra
