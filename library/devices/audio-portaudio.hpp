// The audio layer: the list of stereo outputs (a WAV file device, the JACK output, then PortAudio outputs),
// the device lifecycle make -> define -> attach -> commit -> finish, and the stream that drives the callback.
#pragma once
#include <portaudio.h>
#include <sndfile.h>

#include <cstdint>

#include "library/devices/audio-frame.hpp"

constexpr double AUDIO_SAMPLE_RATE = 44100.0;
constexpr int32_t AUDIO_CHANNELS = 2;
constexpr int32_t AUDIO_TABLE_SLOTS = 16;  // the file device, at most 14 outputs, the null terminator
constexpr int32_t AUDIO_MAX_OUTPUTS = 14;  // the JACK output, when there is one, counts among them
constexpr int32_t AUDIO_FILE_BATCH = 8;  // blocks per libsndfile write

// Called once per 256-frame block with the user value given at attach time. On a real-time device it runs
// on the audio thread (JACK's process thread for the JACK output): it must not allocate, lock, wait or do I/O. It defines the frame, writes every
// sample of both buffers and commits; or commits none. After the first frame with data a none frame ends
// the stream; a frame left defined without a commit is reported and ends the stream too.
using audio_callback = void (*)(void* user, audio_frame* frame);

enum audio_device_kind : int32_t { AUDIO_DEVICE_FILE = 0, AUDIO_DEVICE_PORTAUDIO = 1, AUDIO_DEVICE_JACK = 2 };

// The head every device begins with.
struct audio_device {
  int32_t kind;
  audio_callback callback;
  void* user;
  int32_t started;  // set by the first frame with data since the commit
};

// Sample types are libsndfile's subtype codes.
enum audio_sample_type : int32_t { AUDIO_SAMPLE_UNSET = 0, AUDIO_SAMPLE_PCM16 = 2, AUDIO_SAMPLE_FLOAT = 6 };

// Not real-time: runs its callback on the thread that finishes the layer, as fast as it can, and writes
// the blocks into a WAV file.
struct audio_file_device {
  audio_device head;
  const char* file_name;  // "/dev/null" until "set-file"
  int32_t name_owned;
  int32_t frames_per_write;
  int32_t buffered_frames;
  float* write_buffer;  // AUDIO_FILE_BATCH blocks of interleaved stereo
  SNDFILE* sound_file;
  int32_t sample_type;
};

struct audio_portaudio_device {
  audio_device head;
  PaStreamParameters parameters;
  PaStream* stream;
  audio_frame frame;
  int32_t frame_made;
};

struct audio_io;

int audio_io_make(audio_io** io);  // 0 when memory runs out (the handle stays null)
// The null-terminated device table: the file device first; the JACK output when a JACK server runs; then
// PortAudio's outputs other than JACK ones, its default output first.
int audio_io_define(audio_io* io, audio_device*** list);
int audio_device_is_realtime(const audio_device* device);
// "set-file" PATH and "set-sample-type" ("float", anything else 16-bit PCM) on the file device: 1.
// Any command to an output, and any unknown command, changes nothing and returns 0.
int audio_device_command(audio_device* device, const char* command, const char* argument);
int audio_device_attach(audio_device* device, audio_callback callback, void* user);
// Opens and starts the device (null, or a device of another layer: nothing starts). 1 when it runs. When
// a real-time device fails to start, the layer is left uncommitted so that another device can be tried.
int audio_io_commit(audio_io* io, audio_device* device);
// Runs the file device to its end, or waits (polling once a second) for the stream to end; then frees
// everything, closes the stream, ends the audio system and nulls the handle.
void audio_io_finish(audio_io** io);

// The frame contract after each call of a device's callback: 0 when the frame ends the stream (left open
// without a commit, which is reported, or a none frame once data has been played).
int audio_device_advance(audio_device* device, audio_frame* frame);

// The order in which outputs are listed, pure so that it can be checked without an audio system:
// indices 0..count-1 with the default output swapped to the front, keeping those with more than one
// output channel (channels[index]), at most `capacity`. Returns how many were written to `order`.
int32_t audio_output_order(int32_t count, int32_t default_index, const int32_t* channels, int32_t* order,
                           int32_t capacity);
