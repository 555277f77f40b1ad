// The busy patch the engine and renderer benchmarks measure.
#pragma once
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/synth.hpp"

// Every kind in use across the sixteen oscillators, 24 acting off-diagonal cells of every type per
// record, every voice sounding through delay, low-pass, high-pass and pan.
inline void busy_record(synth_state& s, int record) {
  for (int i = 0; i < 8; ++i) {
    osc& o = s.oscs[i];
    o.kind = (i + 8 * record) % OSC_WAVEFORMS;
    o.note = 40.0f + float(5 * i + record);
    o.p1 = 0.2f;
    o.p2 = 0.5f;
    voice_params& v = s.voices[i];
    v.volume = 0.8f;
    v.pan = -0.8f + 0.2f * float(i);
    v.delay_wet = 0.3f;
    v.delay_time = 5000.0f + 1000.0f * float(i);
    v.lp_cutoff = 3000.0f + 500.0f * float(i);
    v.lp_resonance = 3.0f;
    v.hp_cutoff = 150.0f;
  }
  for (int k = 0; k < 24; ++k) {
    int row = (k * 3 + record) % 8, column = (row + 1 + k % 7) % 8;
    s.cells[row][column] = {2 + k % 8, 0.2f, 1.0f + float(k % 3), 0.0f, 0};
  }
}
