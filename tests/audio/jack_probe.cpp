// Test helper on a JACK dummy server: the instrument's sound start-up for argv[1] seconds, the JACK ports
// as they stand when it returns, voice 0 at 440 Hz hard left (volume argv[2], 0.9 by default) and voice 1
// at 880 Hz hard right at volume 0.9.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/synth.hpp"

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kelvarin_sound_start();
  std::printf("started\n");
  std::system("jack_lsp 2>/dev/null");
  for (int v = 0; v < 2; ++v) {
    synth().oscs[v].note = 57.0f + 12.0f * float(v), synth().voices[v].pan = v ? 1.0f : -1.0f;
    synth().voices[v].volume = v == 0 && argc > 2 ? float(std::atof(argv[2])) : 0.9f;
  }
  usleep(useconds_t((argc > 1 ? std::atof(argv[1]) : 5.0) * 1e6));
  std::exit(0);  // as in the instrument, the process ends without finishing the audio layer
}
