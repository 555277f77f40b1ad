// Recording the instrument's stereo output into a 32-bit float WAV file while it plays.
//
// The audio thread only copies each block into a lock-free ring of RECORDER_RING_FRAMES (about three
// seconds); a writer thread drains the ring to disk through libsndfile, which rewrites the header after
// every write, so a crash or a power cut leaves a playable file of what was recorded. When the writer
// falls behind by more than the ring holds, or the disk is full or the folder unwritable, the recording
// stops with one line saying why and what was kept; the sound is never touched.
#pragma once
#include <cstdint>
#include <string>

constexpr uint32_t RECORDER_RING_FRAMES = 1u << 17;  // 2.97 s at 44100 Hz, a power of two

// Audio thread, once per block after the block is rendered: copies `frames` stereo samples into the
// ring while a recording runs. Allocates nothing, takes no lock, does no I/O.
void recorder_accept(const float* left, const float* right, int32_t frames);

// Display thread. Starts a recording into "recordings/kelvarin-YYYYMMDD-HHMMSS.wav" of the folder where
// the slots live (a "-2", "-3"... before ".wav" when that name is taken) and prints "recording to PATH";
// 0 with one line saying why when the file cannot be made, or when a recording still runs or finishes.
int recorder_start();
// Display thread: asks the writer to write what is left and close the file; it prints
// "recorded PATH (S s)". Returns at once.
void recorder_stop();
// The key "r" and the panel's "rec" button: stops a running recording, else starts one.
void recorder_toggle();
// Any thread: 1 while the audio side copies blocks into the ring.
int recorder_recording();
// Any thread: seconds of sound taken in by the recording running or last run.
double recorder_seconds();
// Stops a running recording and waits (up to 2 s) until its file is closed: the program quits after this.
void recorder_finish();
// Waits up to `seconds` until no writer runs (a stopped recording's file is then closed); 1 when none runs.
int recorder_wait_idle(double seconds);
// The file of the recording running or last run ("" before the first).
std::string recorder_path();
