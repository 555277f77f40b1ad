// Test helper on a JACK dummy server. "streams": three scripted streams through the audio wiring, each
// ended by its callback (the last one's frame 40 left open), then their call counts. A number: the
// instrument's sound start-up for that many seconds, the JACK ports as they stand when it returns, voice 0
// at 440 Hz hard left (volume argv[2], 0.9 by default) and voice 1 at 880 Hz hard right at volume 0.9.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/synth.hpp"

namespace {

// Data blocks until `ends`, then the none frame that ends the stream; the frame at `open_at` is left open.
struct script {
  long calls = 0, ends = 50, open_at = -1;
};

void scripted(void* user, audio_frame* frame) {
  auto* s = static_cast<script*>(user);
  if (s->calls++ >= s->ends) return audio_frame_commit_none(frame);
  float *l, *r;
  audio_frame_define_stereo(frame, &l, &r);
  if (s->calls - 1 != s->open_at) audio_frame_commit(frame);
}

void streams() {
  script first, second, open{0, 1000, 40};
  for (script* s : {&first, &second, &open}) {
    audio_io* io = kelvarin_audio_open(scripted, s);
    kelvarin_audio_finish(&io);  // returns once the callback's none frame ended the stream
  }
  std::printf("calls %ld %ld %ld\n", first.calls, second.calls, open.calls);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc > 1 && std::string(argv[1]) == "streams") return streams(), 0;
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
