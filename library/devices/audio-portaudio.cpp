// The audio layer over JACK and PortAudio (real-time outputs) and libsndfile (the WAV file device).
#include "library/devices/audio-portaudio.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "library/arch/linux/quiet-probes.hpp"
#include "library/devices/audio-jack.hpp"

struct audio_io {
  audio_device* table[AUDIO_TABLE_SLOTS];
  audio_device* committed;
  int32_t quit;
  int32_t portaudio_up;  // Pa_Initialize succeeded and awaits its Pa_Terminate
};

namespace {

constexpr int32_t BLOCK_SAMPLES = AUDIO_BLOCK * AUDIO_CHANNELS;

audio_file_device* private_file_device_make() {
  auto* d = static_cast<audio_file_device*>(std::calloc(1, sizeof(audio_file_device)));
  if (!d) return nullptr;
  d->head.kind = AUDIO_DEVICE_FILE;
  d->file_name = "/dev/null";
  return d;
}

audio_portaudio_device* private_portaudio_device_make(PaDeviceIndex index, const PaDeviceInfo* info) {
  auto* d = static_cast<audio_portaudio_device*>(std::calloc(1, sizeof(audio_portaudio_device)));
  if (!d) return nullptr;
  d->head.kind = AUDIO_DEVICE_PORTAUDIO;
  d->parameters.device = index;
  d->parameters.channelCount = AUDIO_CHANNELS;
  d->parameters.sampleFormat = paFloat32;
  d->parameters.suggestedLatency = info->defaultLowOutputLatency;
  d->parameters.hostApiSpecificStreamInfo = nullptr;
  return d;
}

// PortAudio's own JACK layer opens a second client, and its stream open can wait for ever on a busy
// server; the JACK output speaks to the server itself. So while PortAudio starts, JACK clients look for
// a server that does not exist (and may not start one), and JACK outputs it lists anyway are skipped.
struct jack_hidden {
  std::string saved_server, saved_no_start;
  bool had_server, had_no_start;
  jack_hidden() {
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    const char* no_start = std::getenv("JACK_NO_START_SERVER");
    had_server = server, had_no_start = no_start;
    saved_server = server ? server : "", saved_no_start = no_start ? no_start : "";
    setenv("JACK_DEFAULT_SERVER", "kelvarin-hidden-from-portaudio", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
  }
  ~jack_hidden() {
    had_server ? setenv("JACK_DEFAULT_SERVER", saved_server.c_str(), 1) : unsetenv("JACK_DEFAULT_SERVER");
    had_no_start ? setenv("JACK_NO_START_SERVER", saved_no_start.c_str(), 1) : unsetenv("JACK_NO_START_SERVER");
  }
};

bool private_is_jack(const PaDeviceInfo* info) {
  const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
  return api && api->type == paJACK;
}

// Appends the PortAudio outputs from `slot` on, `capacity` at most.
void private_audio_io_list_outputs(audio_io* io, int32_t slot, int32_t capacity) {
  int32_t count = Pa_GetDeviceCount();
  if (count <= 0) return;
  std::vector<int32_t> channels(size_t(count), 0), order(size_t(count), 0);
  for (int32_t i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    channels[size_t(i)] = info && !private_is_jack(info) ? info->maxOutputChannels : 0;
  }
  int32_t n = audio_output_order(count, Pa_GetDefaultOutputDevice(), channels.data(), order.data(), capacity);
  for (int32_t k = 0; k < n; ++k) {
    audio_portaudio_device* d = private_portaudio_device_make(order[size_t(k)], Pa_GetDeviceInfo(order[size_t(k)]));
    if (d) io->table[slot++] = &d->head;
  }
}

void private_file_device_release(audio_file_device* d) {
  if (d->sound_file) sf_close(d->sound_file);
  d->sound_file = nullptr;
  if (d->name_owned) std::free(const_cast<char*>(d->file_name));
  d->file_name = "/dev/null";
  d->name_owned = 0;
  std::free(d->write_buffer);
  d->write_buffer = nullptr;
}

void private_portaudio_device_release(audio_portaudio_device* d) {
  // The stream goes before the frame its callback reads.
  if (d->stream) Pa_CloseStream(d->stream);
  d->stream = nullptr;
  if (d->frame_made) audio_frame_delete(&d->frame);
  d->frame_made = 0;
}

int32_t private_table_find(const audio_io* io, const audio_device* device) {
  for (int32_t i = 0; device && i < AUDIO_TABLE_SLOTS && io->table[i]; ++i) {
    if (io->table[i] == device) return i;
  }
  return -1;
}

// ==== [SECTION] frame contract and stream callback

// PortAudio's audio thread: one block of the program's callback, interleaved into the output.
int private_stream_callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                            PaStreamCallbackFlags, void* user) {
  auto* d = static_cast<audio_portaudio_device*>(user);
  if (frames != static_cast<unsigned long>(AUDIO_BLOCK)) {
    std::memset(output, 0, frames * AUDIO_CHANNELS * sizeof(float));  // the last buffer still plays
    return paComplete;
  }
  d->head.callback(d->head.user, &d->frame);
  int ok = audio_device_advance(&d->head, &d->frame);
  auto* out = static_cast<float*>(output);
  const audio_frame& f = d->frame;
  for (int32_t i = 0; i < AUDIO_BLOCK; ++i) {
    out[2 * i] = f.none ? 0.0f : f.left[i];
    out[2 * i + 1] = f.none ? 0.0f : f.right[i];
  }
  return ok ? paContinue : paComplete;
}

// ==== [SECTION] commit

int private_portaudio_commit(audio_portaudio_device* d) {
  if (!audio_frame_make(&d->frame)) return 0;
  d->frame_made = 1;
  PaError e = Pa_OpenStream(&d->stream, nullptr, &d->parameters, AUDIO_SAMPLE_RATE, AUDIO_BLOCK, paDitherOff,
                            private_stream_callback, d);
  if (e != paNoError) d->stream = nullptr;
  if (e == paNoError && Pa_StartStream(d->stream) == paNoError) return 1;
  private_portaudio_device_release(d);
  return 0;
}

// A real-time device that did not start leaves the layer uncommitted: the caller may try the next one.
int private_realtime_commit(audio_io* io, audio_device* device) {
  if (io->quit) return 0;  // no callback: a stream would have nothing to call
  int ok = device->kind == AUDIO_DEVICE_JACK ? audio_jack_commit(reinterpret_cast<audio_jack_device*>(device))
                                             : private_portaudio_commit(reinterpret_cast<audio_portaudio_device*>(device));
  if (ok) return 1;
  io->committed = nullptr;
  io->quit = 1;
  return 0;
}

int private_file_commit(audio_io* io, audio_file_device* d) {
  if (d->sample_type == AUDIO_SAMPLE_UNSET) d->sample_type = AUDIO_SAMPLE_PCM16;
  if (io->quit) return 0;  // no callback: leave whatever the path holds untouched
  SF_INFO info{};
  info.samplerate = int(AUDIO_SAMPLE_RATE);
  info.channels = AUDIO_CHANNELS;
  info.format = SF_FORMAT_WAV | d->sample_type;
  if (sf_format_check(&info)) d->sound_file = sf_open(d->file_name, SFM_WRITE, &info);
  // Integer samples beyond full scale clip; without this libsndfile wraps them round to the other sign.
  if (d->sound_file) sf_command(d->sound_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return 1;
}

// ==== [SECTION] file device run

// Writes `blocks` buffered blocks; the batch is empty afterwards either way.
void private_file_flush(audio_file_device* d, int32_t blocks) {
  if (blocks >= 1 && d->sound_file) sf_writef_float(d->sound_file, d->write_buffer, sf_count_t(blocks) * AUDIO_BLOCK);
  d->buffered_frames = 0;
}

// A none frame contributes silence, as it does on a real-time output.
void private_file_buffer(audio_file_device* d, const audio_frame* frame) {
  float* at = d->write_buffer + size_t(d->buffered_frames) * BLOCK_SAMPLES;
  for (int32_t i = 0; i < AUDIO_BLOCK; ++i) {
    at[2 * i] = frame->none ? 0.0f : frame->left[i];
    at[2 * i + 1] = frame->none ? 0.0f : frame->right[i];
  }
  d->buffered_frames++;
}

// Runs the callback on this thread until it ends the run; the block that ended it is not written.
void private_file_run(audio_io* io, audio_file_device* d) {
  audio_frame frame{};
  if (!d->write_buffer || !audio_frame_make(&frame)) io->quit = 1;
  while (!io->quit) {
    d->head.callback(d->head.user, &frame);
    if (!audio_device_advance(&d->head, &frame)) io->quit = 1;
    private_file_buffer(d, &frame);
    if (io->quit) {
      private_file_flush(d, d->buffered_frames - 1);
    } else if (d->buffered_frames >= d->frames_per_write) {
      private_file_flush(d, d->buffered_frames);
    }
  }
  audio_frame_delete(&frame);
  private_file_device_release(d);
}

// The stream ends only through its callback; ask once a second.
void private_portaudio_wait(audio_portaudio_device* d) {
  while (d->stream && Pa_IsStreamActive(d->stream) == 1) Pa_Sleep(1000);
  private_portaudio_device_release(d);
}

// The JACK output ends with the stream or with the server; nothing to ask of anyone, so look often.
void private_jack_wait(audio_jack_device* d) {
  while (audio_jack_playing(d)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  audio_jack_stop(d);
}

void private_device_delete(audio_device* device) {
  if (device->kind == AUDIO_DEVICE_JACK) return audio_jack_device_delete(reinterpret_cast<audio_jack_device*>(device));
  if (device->kind == AUDIO_DEVICE_FILE) {
    private_file_device_release(reinterpret_cast<audio_file_device*>(device));
  } else {
    private_portaudio_device_release(reinterpret_cast<audio_portaudio_device*>(device));
  }
  std::free(device);
}

}  // namespace

// ==== [SECTION] public interface

int audio_device_advance(audio_device* device, audio_frame* frame) {
  if (frame->flags & 1u) {
    std::printf("defined frame without corresponding commit!\n");
    std::fflush(stdout);
    return 0;
  }
  frame->frame_counter++;
  if (device->started) return frame->none ? 0 : 1;
  if (!frame->none) device->started = 1;
  return 1;
}

int32_t audio_output_order(int32_t count, int32_t default_index, const int32_t* channels, int32_t* order,
                           int32_t capacity) {
  int32_t n = 0;
  for (int32_t k = 0; k < count && n < capacity; ++k) {
    int32_t index = k;
    if (default_index > 0 && default_index < count) {
      if (k == 0) index = default_index;
      if (k == default_index) index = 0;
    }
    if (channels[index] > 1) order[n++] = index;
  }
  return n;
}

int audio_io_make(audio_io** io) {
  *io = static_cast<audio_io*>(std::calloc(1, sizeof(audio_io)));
  if (!*io) return 0;
  audio_file_device* file = private_file_device_make();
  if (!file) {
    std::free(*io);
    *io = nullptr;
    return 0;
  }
  (*io)->table[0] = &file->head;
  linux_audio_quiet();  // probing ALSA cards and JACK servers that are not there is the normal case
  int32_t slot = 1;
  if (audio_jack_device* jack = audio_jack_device_make()) (*io)->table[slot++] = &jack->head;
  jack_hidden hidden;
  if (Pa_Initialize() != paNoError) return 1;
  (*io)->portaudio_up = 1;
  private_audio_io_list_outputs(*io, slot, AUDIO_MAX_OUTPUTS - (slot - 1));
  return 1;
}

int audio_io_define(audio_io* io, audio_device*** list) {
  if (!io) return 0;
  *list = io->table;
  return 1;
}

int audio_device_is_realtime(const audio_device* device) { return device && device->kind != AUDIO_DEVICE_FILE; }

int audio_device_command(audio_device* device, const char* command, const char* argument) {
  if (!device || !command || device->kind != AUDIO_DEVICE_FILE) return 0;
  auto* d = reinterpret_cast<audio_file_device*>(device);
  if (std::strcmp(command, "set-file") == 0) {
    if (!argument) return 0;
    char* copy = strdup(argument);
    if (!copy) return 0;
    if (d->name_owned) std::free(const_cast<char*>(d->file_name));
    d->file_name = copy;
    d->name_owned = 1;
    return 1;
  }
  if (std::strcmp(command, "set-sample-type") == 0) {
    bool is_float = argument && std::strcmp(argument, "float") == 0;
    d->sample_type = is_float ? AUDIO_SAMPLE_FLOAT : AUDIO_SAMPLE_PCM16;
    return 1;
  }
  return 0;
}

int audio_device_attach(audio_device* device, audio_callback callback, void* user) {
  if (!device) return 0;
  device->callback = callback;
  device->user = user;
  if (device->kind != AUDIO_DEVICE_FILE) return 1;
  auto* d = reinterpret_cast<audio_file_device*>(device);
  d->frames_per_write = AUDIO_FILE_BATCH;
  d->buffered_frames = 0;
  if (!d->write_buffer) d->write_buffer = static_cast<float*>(std::calloc(size_t(AUDIO_FILE_BATCH) * BLOCK_SAMPLES, sizeof(float)));
  return d->write_buffer ? 1 : 0;
}

int audio_io_commit(audio_io* io, audio_device* device) {
  if (!io) return 0;
  if (io->committed) return 0;  // one device per layer; a second commit would open it twice
  if (private_table_find(io, device) < 0) return io->quit = 1, 0;
  io->committed = device;
  io->quit = device->callback ? 0 : 1;
  device->started = 0;
  if (device->kind == AUDIO_DEVICE_FILE) return private_file_commit(io, reinterpret_cast<audio_file_device*>(device));
  return private_realtime_commit(io, device);
}

void audio_io_finish(audio_io** io) {
  if (!io || !*io) return;
  audio_io* s = *io;
  if (s->committed && s->committed->kind == AUDIO_DEVICE_FILE) {
    private_file_run(s, reinterpret_cast<audio_file_device*>(s->committed));
  } else if (s->committed && s->committed->kind == AUDIO_DEVICE_JACK) {
    private_jack_wait(reinterpret_cast<audio_jack_device*>(s->committed));
  } else if (s->committed) {
    private_portaudio_wait(reinterpret_cast<audio_portaudio_device*>(s->committed));
  }
  s->committed = nullptr;
  for (int32_t i = 0; i < AUDIO_TABLE_SLOTS && s->table[i]; ++i) private_device_delete(s->table[i]);
  if (s->portaudio_up) Pa_Terminate();
  std::free(s);
  *io = nullptr;
}
