// The audio layer's count of xruns (periods the audio server could not serve in time), shown on the panel.
#pragma once
#include <cstdint>

// Called from the audio server's xrun notification; never blocks, never allocates.
void audio_io_note_xrun();
// Xruns since the program started; 0 where the device reports none.
int32_t audio_io_xrun_count();
