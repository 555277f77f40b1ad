// The offline renderer's command line: kelvarin-render [--slot FILE] [--midi FILE] [--seconds S] [--float] OUT.wav.
#pragma once
#include <cstdint>
#include <string>

constexpr double RENDER_MAX_SECONDS = 10800.0;  // three hours stay inside a WAV file's 4 GiB

struct render_options {
  const char* slot = nullptr;  // a preset slot file, read only
  const char* midi = nullptr;  // a Standard MIDI File played into the instrument
  double seconds = 10.0;
  int seconds_p = 0;  // --seconds given; otherwise a MIDI file sets the length
  int float_p = 0;  // 32-bit float samples instead of 16-bit PCM
  int help_p = 0;
  const char* output = nullptr;
};

extern const char* const RENDER_USAGE;

// 1 when the arguments make a render (or ask for help); 0 with the reason in `error`.
int render_options_parse(render_options* options, int argc, char** argv, std::string* error);
// Blocks of 256 frames that cover `seconds`: ceil(seconds * 44100 / 256), forgiving decimal rounding.
int64_t render_blocks(double seconds);
