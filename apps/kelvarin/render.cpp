// kelvarin-render: bounces the instrument into a WAV file offline, optionally crossfading into a preset.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/brightloom/stream.hpp"
#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/midi_file_player.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/render_options.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "library/devices/audio-portaudio.hpp"

namespace {

struct render_run {
  int64_t blocks;  // blocks to write; the call after the last one ends the run
  int64_t done;
  int progress_p;
  int percent;
  midi_file_player* midi;  // null without --midi
};

void render_progress(render_run* r) {
  int percent = int(r->done * 100 / r->blocks);
  if (percent == r->percent) return;
  r->percent = percent;
  char bar[41];
  std::memset(bar, ' ', 40);
  std::memset(bar, '#', size_t(percent * 40 / 100));
  bar[40] = 0;
  std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
  if (r->done == r->blocks) std::fputc('\n', stderr);
}

// The file device runs this on the main thread: the instrument's own callback, then one none frame.
void render_block(void* user, audio_frame* frame) {
  auto* r = static_cast<render_run*>(user);
  if (r->done >= r->blocks) return audio_frame_commit_none(frame);
  if (r->midi) midi_file_player_before_block(r->midi, r->done);
  audiofn(nullptr, frame);
  r->done++;
  if (r->progress_p) render_progress(r);
}

// Loads the slot into the back record and flips, as a slot press does. 0 when nothing could be loaded.
int render_load_slot(const char* path) {
  stream s;
  stream_make_on_file(&s, STREAM_READ, path);
  const char* message = load(&s);
  stream_delete(&s);
  if (message == PRESET_CANNOT_LOAD) {
    std::fprintf(stderr, "kelvarin-render: %s: %s\n", path, message);
    return 0;
  }
  if (message == PRESET_INCOMPLETE) std::fprintf(stderr, "kelvarin-render: warning: %s: %s\n", path, message);
  return 1;
}

// Fails early, before the render, on a folder that is missing or closed to us.
int render_output_writable(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "kelvarin-render: cannot write %s: %s\n", path, std::strerror(errno));
    return 0;
  }
  close(fd);
  return 1;
}

// The file device reports nothing, so the file is read back: every block must be there.
int render_output_complete(const char* path, int64_t blocks) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (f) sf_close(f);
  if (f && info.frames == blocks * AUDIO_BLOCK) return 1;
  std::fprintf(stderr, "kelvarin-render: could not write all of %s (%lld of %lld frames; disk full?)\n", path,
               f ? static_cast<long long>(info.frames) : 0LL, static_cast<long long>(blocks * AUDIO_BLOCK));
  return 0;
}

// Runs the file device to the end of the run.
void render_file(const render_options& o, render_run* run) {
  audio_io* io = nullptr;
  if (!audio_io_make(&io)) return;
  audio_device** list = nullptr;
  audio_io_define(io, &list);
  audio_device* file = list[0];
  audio_device_command(file, "set-file", o.output);
  if (o.float_p) audio_device_command(file, "set-sample-type", "float");
  audio_device_attach(file, render_block, run);
  audio_io_commit(io, file);
  audio_io_finish(&io);
}

}  // namespace

int main(int argc, char** argv) {
  render_options o;
  std::string error;
  if (!render_options_parse(&o, argc, argv, &error)) {
    std::fprintf(stderr, "kelvarin-render: %s\n%s", error.c_str(), RENDER_USAGE);
    return 2;
  }
  if (o.help_p) return std::fputs(RENDER_USAGE, stdout), 0;
  // The audio layer also looks for real-time outputs; an offline render must not start a JACK server.
  setenv("JACK_NO_START_SERVER", "1", 0);
  oscs_make();
  delay_lines_make();
  if (o.slot && !render_load_slot(o.slot)) return 1;
  midi_file_player midi{};
  if (o.midi && !midi_file_player_load(&midi, o.midi)) return 1;  // before the output is touched
  if (!render_output_writable(o.output)) return midi_file_player_delete(&midi), 1;
  render_run run{render_blocks(o.seconds), 0, isatty(STDERR_FILENO), -1, o.midi ? &midi : nullptr};
  if (o.midi && !o.seconds_p)
    run.blocks = std::min(midi_file_player_blocks(&midi), render_blocks(RENDER_MAX_SECONDS));
  render_file(o, &run);
  midi_file_player_delete(&midi);
  return render_output_complete(o.output, run.blocks) ? 0 : 1;
}
