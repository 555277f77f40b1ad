// The audio callback: renders one 256-frame stereo block from both synthesizer records.
#pragma once
#include <cstdint>

#include "library/devices/audio-frame.hpp"

// The largest magnitude of an output sample (8 = +18 dB over full scale).
constexpr float OUTPUT_LIMIT = 8.0f;

// 1 until the first callback has built the filters.
extern int32_t init_p;

// Called by the audio layer on its real-time thread for every block; `user` is unused. First serves a
// preset load or snapshot handed over by the display thread (synth_handoff_serve). Silent for the
// first 3000 ms of audio time; then advances the front and the back record sample by sample through
// the matrix, hands every front voice sample to the panel (oui_accept_block) and the visuals
// (vfx_accept_block), runs the front voices through delay, low-pass and high-pass, and mixes all
// sixteen voices weighted by the records' crossfade levels and the master gain. Allocates nothing,
// takes no lock and does no I/O apart from the audio frame's once-a-second statistics line. Delay lines
// must have been made (delay_lines_make) before the first call.
void audiofn(void* user, audio_frame* frame);
