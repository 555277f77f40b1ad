// Pitch conversions with note 57 at the base frequency (440 Hz), any float note accepted.
#pragma once
#include <cmath>

// Frequency of note 57; oscs_make sets it at start-up.
inline float BASE_HZ = 440.0f;

inline float midi_to_hz(float note, float base) {
  float exponent = (note - 57.0f) * (1.0f / 12.0f);
  return float(double(base) * std::pow(2.0, double(exponent)));
}

inline float hz_to_midi(float hz, float base) {
  float ratio = hz / base;
  return float(12.0 * std::log2(double(ratio)) + 57.0);
}

inline float midi_to_hz_std(float note) { return midi_to_hz(note, BASE_HZ); }
inline float hz_to_midi_std(float hz) { return hz_to_midi(hz, BASE_HZ); }
