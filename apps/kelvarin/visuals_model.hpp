// The visuals' data: the 4 x 4 layer matrix, the per-voice modulation entries and the analysis windows
// the audio thread fills. Both matrices are stored byte for byte in presets.
#pragma once
#include <cstdint>

constexpr int32_t VFX_LAYERS = 4;
constexpr int32_t OSC_BUFFER_N = 1470;  // one analysis window: 1/30 s at 44100 Hz

struct vfx_cell {
  int32_t on;    // off-diagonal: draw the source layer into the target; diagonal: the layer is mixed
  int32_t self;  // diagonal only: the layer also draws its own previous image
  float scale;   // negative values mirror the other axis
  float rotate_z;  // turns
  float rotate_x;  // turns
};
static_assert(sizeof(vfx_cell) == 20);

// Types: 0 zro, 1 scl, 2 rtX, 3 rtZ, 4 trg, 5 mvh, 6 mvv. Functions: 0 avg, 1 rms, 2 min, 3 max.
struct frame_modulation {
  int32_t type;
  int32_t function;
  float amount;
  float divisor;
  float value;      // written by the audio thread at the end of each window
  int32_t trigger;  // written by the audio thread, cleared by the frame pass
};
static_assert(sizeof(frame_modulation) == 24);

extern vfx_cell modmatrix[VFX_LAYERS][VFX_LAYERS];  // [source row j][target column L]
extern frame_modulation modmatrix_of[8][VFX_LAYERS];  // [voice][layer]
extern float osc_buffer[8][OSC_BUFFER_N];
extern int32_t osc_buffer_i[8];
static_assert(sizeof(modmatrix) == 320);
static_assert(sizeof(modmatrix_of) == 768);

// Defaults: diagonal on, scale 0.97, rotate z 0, rotate x 1.0; entries off with divisor 1; write
// positions reset. Trigger words are left alone (the audio thread owns them).
void modmatrix_make();
// An entry's `type`, named by what the frame pass does with it (the panel's names differ: "rtX" turns about z,
// "rtZ" moves horizontally, "mvh" moves vertically, "mvv" turns about x), and its `function`.
enum frame_modulation_type : int32_t {
  FRAME_ZRO, FRAME_SCALE, FRAME_ROTATE_Z, FRAME_MOVE_H, FRAME_TRIGGER, FRAME_MOVE_V, FRAME_ROTATE_X, FRAME_TYPES
};
enum frame_function : int32_t { FRAME_AVG, FRAME_RMS, FRAME_MIN, FRAME_MAX, FRAME_FUNCTIONS };
const char* osc_frame_modulation_type_as_string(int32_t code);
const char* osc_frame_function_as_string(int32_t code);

// Audio thread, once per sample and voice: collects the window and, at its end, writes each entry's
// value and trigger. Voices above 7 are dropped.
void vfx_accept_sample(float sample, int32_t voice);
