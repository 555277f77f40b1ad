// Test helper: the instrument's audio start-up on its own, with voice 0 sounding (440 Hz, centred).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  oscs_make();
  delay_lines_make();
  synth().voices[0].volume = 1.0f;
  audio_io* io = kelvarin_audio_start();
  std::printf("audio start returned\n");
  std::fflush(stdout);
  usleep(useconds_t(seconds * 1e6));
  // As in the instrument, the process ends without finishing the audio layer.
  std::exit(io ? 0 : 1);
}
