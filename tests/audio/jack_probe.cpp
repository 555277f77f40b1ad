// Test helper: the instrument's MIDI and audio wiring as its entry makes it, voice 0 at note 57 with the
// volume of argv[2] (default 1), for argv[1] seconds; "wired" once the port exists.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/main_midi.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  oscs_make();
  delay_lines_make();
  synth().voices[0].volume = argc > 2 ? float(std::atof(argv[2])) : 1.0f;
  midi_io* midi = kelvarin_midi_define();
  kelvarin_audio_start();
  kelvarin_midi_commit(midi);
  std::printf("wired\n");
  usleep(useconds_t(seconds * 1e6));
  std::exit(0);  // as in the instrument, the layers are not finished
}
