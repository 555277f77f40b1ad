// One audio block: silent start, crossfade between the two records, voice chains, sinks and the mix.
#include "apps/kelvarin/audio_callback.hpp"

#include <cmath>

#include "apps/kelvarin/modmatrix.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_analysis.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "pure/math.hpp"
#include "toolset/atomics.hpp"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

int32_t init_p = 1;

namespace {

constexpr double SILENT_START_MS = 3000.0;
constexpr float FADE_STEP = 1024.0f / SAMPLE_RATE;

float voice_blocks[8][VOICE_BLOCK];  // audio thread only
modmatrix_plan plans[2];             // one per record of `synths`, keeping its pitch cache

// Flush-to-zero and denormals-are-zero for the duration of a block, so that decaying filter and
// feedback states in silence cost no more than sound. The caller's mode is restored on return.
struct private_flush_denormals {
#if defined(__SSE__)
  unsigned saved = _mm_getcsr();
  private_flush_denormals() { _mm_setcsr(saved | 0x8040u); }
  ~private_flush_denormals() { _mm_setcsr(saved); }
#endif
};

bool private_finite_block(const float* block) {
  bool finite = true;
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) finite &= std::isfinite(block[k]);
  return finite;
}

// A voice whose chain produced a non-finite sample (a damaged preset's filter or delay settings) goes
// quiet and its filters start again from rest; the other voices play on.
void private_guard_voice(float* block, int32_t v) {
  if (private_finite_block(block)) return;
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) block[k] = 0.0f;
  lps[v].x0 = lps[v].x1 = lps[v].x2 = lps[v].y0 = lps[v].y1 = lps[v].y2 = 0.0f;
  chamberlins[v].low = chamberlins[v].high = chamberlins[v].band = chamberlins[v].notch = 0.0f;
}

// The front voices' chains: delay, low-pass, high-pass. The voices do not meet until the mix, so each
// stage runs over all eight before the next (the filters side by side), with the results of running
// the chains one voice after another.
void private_chains(const synth_state& s) {
  for (int32_t v = 0; v < VOICES; ++v) {
    const voice_params& p = s.voices[v];
    feedback_delay(voice_blocks[v], v, 1.0f - load_relaxed(p.delay_wet), load_relaxed(p.delay_time),
                   load_relaxed(p.delay_feedback));
    lp_filter_set_cutoff(&lps[v], load_relaxed(p.lp_cutoff));
    lp_filter_set_resonance(&lps[v], load_relaxed(p.lp_resonance));
    chamberlin_filter_set_cutoff(&chamberlins[v], load_relaxed(p.hp_cutoff));
    chamberlin_filter_set_resonance(&chamberlins[v], load_relaxed(p.hp_resonance));
  }
  voice_filters_do(voice_blocks);
  for (int32_t v = 0; v < VOICES; ++v) private_guard_voice(voice_blocks[v], v);
}

// The panel and the visuals see the raw front voices. Each voice's history and window is its own, so
// handing over a voice's block at once leaves them as sample-by-sample feeding in voice order would;
// the display thread reads them word by word with no order among voices to rely on.
void private_feed_sinks() {
  for (int32_t v = 0; v < VOICES; ++v) {
    oui_accept_block(voice_blocks[v], VOICE_BLOCK, v);
    vfx_accept_block(voice_blocks[v], VOICE_BLOCK, v);
  }
}

// The front record fades in towards 1, the back record out towards 0, one step per block.
float private_crossfade_gain(synth_state& s, bool front) {
  float fade = load_relaxed(s.fade);
  float step = front ? (fade < 1.0f ? FADE_STEP : 0.0f) : (fade > 0.0f ? -FADE_STEP : 0.0f);
  fade = clamp_f(fade + step, 0.0f, 1.0f);
  store_relaxed(s.fade, fade);
  return crossfade_amp(1.0f, fade) * load_relaxed(gain);
}

void private_render_record(synth_state& s, bool front, float* left, float* right) {
  float g = private_crossfade_gain(s, front);
  modmatrix_plan& plan = plans[&s == &synths[0] ? 0 : 1];
  modmatrix_plan_make(&plan, &s);
  modmatrix_render(&s, &plan, voice_blocks, VOICE_BLOCK);
  if (front) {
    private_feed_sinks();
    private_chains(s);
  }
  for (int32_t v = 0; v < VOICES; ++v) {
    const voice_params& p = s.voices[v];
    mix(left, right, voice_blocks[v], g * load_relaxed(p.volume), load_relaxed(p.pan));
  }
}

// Voices are finite, but sixteen huge ones, resonant filters and full-feedback echoes could still
// overflow the sum or send the speakers +60 dB: the output stays finite and within +18 dB of full scale.
float private_guard(float x) {
  if (!std::isfinite(x)) return 0.0f;
  return x > OUTPUT_LIMIT ? OUTPUT_LIMIT : (x < -OUTPUT_LIMIT ? -OUTPUT_LIMIT : x);
}

void private_guard_output(float* left, float* right) {
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) {
    left[k] = private_guard(left[k]);
    right[k] = private_guard(right[k]);
  }
}

}  // namespace

void audiofn(void*, audio_frame* frame) {
  synth_handoff_serve();  // a preset load or a save's copy waiting from the display thread
  private_flush_denormals flush;
  if (init_p) {
    init_p = 0;
    filters_make();
  }
  float *left = nullptr, *right = nullptr;
  audio_frame_define_stereo(frame, &left, &right);
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) left[k] = right[k] = 0.0f;
  if (audio_frame_in_ms(frame) < SILENT_START_MS) {
    audio_frame_commit(frame);
    return;
  }
  // One read of the front index, so a flip during the block cannot hand out the same record twice.
  int32_t front = load_acquire(synth_current) & 1;
  private_render_record(synths[front], true, left, right);
  private_render_record(synths[1 - front], false, left, right);
  private_guard_output(left, right);
  audio_frame_commit(frame);
}
