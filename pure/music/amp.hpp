// Level conversions: decibels, the voice fader law and the crossfade's level scale.
#pragma once
#include <cmath>

inline float amp_to_db(float a) { return float(20.0 * std::log(double(a)) / std::log(10.0)); }

// e^d in single precision, so every level below about -104 dB comes out as exactly 0.
inline float db_to_amp(float d) {
  return float(std::pow(double(std::exp(d)), std::log(10.0) * 0.05));
}

// The fader law: v = 0 is -200 dB, v = 1 is 0 dB, knees at -60, -40 and -10 dB, +10 dB at v >= 100/76.
inline float volume_in_db(float v) {
  float x = 100.0f - 76.0f * v;
  if (x <= 0.0f) return 10.0f;
  if (x < 48.0f) return 10.0f - x * (5.0f / 12.0f);
  if (x < 84.0f) return -10.0f - (x - 48.0f) * (5.0f / 6.0f);
  if (x < 96.0f) return -40.0f - (x - 84.0f) * (5.0f / 3.0f);
  if (x < 100.0f) return -60.0f - (x - 96.0f) * 35.0f;
  return -200.0f;
}

inline float volume_to_amp(float v) { return db_to_amp(volume_in_db(v)); }
