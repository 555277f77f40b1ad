// Test helper: the instrument's sound start-up on its own, voice 0 at 440 Hz hard left, voice 1 at 880 Hz
// hard right, each at -3 dB on the fader; prints the JACK ports as they stand when the start-up returns.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/synth.hpp"

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  kelvarin_sound_start();
  std::printf("started\n");
  std::fflush(stdout);
  std::system("jack_lsp 2>/dev/null");
  for (int v = 0; v < 2; ++v) synth().oscs[v].note = 57.0f + 12.0f * float(v), synth().voices[v].volume = 0.9f, synth().voices[v].pan = v ? 1.0f : -1.0f;
  usleep(useconds_t(seconds * 1e6));
  std::exit(0);  // as in the instrument, the process ends without finishing the audio layer
}
