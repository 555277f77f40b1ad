// The voice chain: delay lines, low-pass and state-variable filters, pan law, stereo mix and crossfade curve.
#include "apps/kelvarin/voice_chain.hpp"

#include <cmath>
#include <numbers>

#include "apps/kelvarin/synth.hpp"
#include "pure/math.hpp"
#include "pure/music/amp.hpp"
#include "pure/numbers.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

float_array delay_lines[8];
int32_t delay_line_tapin[8];
int32_t delay_line_tapout[8];
lp_filter lps[8];
chamberlin_filter chamberlins[8];

// ==== Low-pass

void lp_filter_set_cutoff(lp_filter* lp, float hz) {
  float clamped = clamp_f(hz, 0.0f, 44099.0f);
  lp->open = clamped >= 22050.0f ? 1 : 0;
  lp->c = float(1.0 / std::tan(double(clamped) * std::numbers::pi / double(SAMPLE_RATE)));
  lp->c2 = lp->c * lp->c;
  lp->dirty = 1;
}

void lp_filter_set_resonance(lp_filter* lp, float res) {
  lp->r = float(std::pow(10.0, -double(res) / 10.0)) * 1.41421356237f;
  lp->dirty = 1;
}

// A cutoff of 0 Hz or an extreme resonance leaves no finite coefficients; the filter then mutes.
void private_lp_filter_setparams(lp_filter* lp) {
  lp->dirty = 0;
  double c = lp->c, c2 = lp->c2, r = lp->r;
  double a0 = 1.0 / (r * c + c2 + 1.0);
  double b1 = 2.0 * (1.0 - c2) * a0;
  double b2 = (1.0 - r * c + c2) * a0;
  bool finite = std::isfinite(a0) && std::isfinite(b1) && std::isfinite(b2);
  lp->a0 = finite ? float(a0) : 0.0f;
  lp->a1 = finite ? float(2.0 * a0) : 0.0f;
  lp->a2 = lp->a0;
  lp->b1 = finite ? float(b1) : 0.0f;
  lp->b2 = finite ? float(b2) : 0.0f;
}

void lp_filter_make(lp_filter* lp) {
  lp_filter_set_resonance(lp, 0.0f);
  lp_filter_set_cutoff(lp, 17640.0f);
}

void lp_filter_do(lp_filter* lp, float* block) {
  if (lp->dirty) private_lp_filter_setparams(lp);
  float x0 = lp->x0, x1 = lp->x1, x2, y0 = lp->y0, y1 = lp->y1, y2;
  if (lp->open) {
    for (int32_t k = 0; k < VOICE_BLOCK; ++k) {
      x2 = x1, x1 = x0, x0 = block[k];
      y2 = y1, y1 = y0, y0 = x0;
    }
  } else {
    const float a0 = lp->a0, a1 = lp->a1, a2 = lp->a2, b1 = lp->b1, b2 = lp->b2;
    for (int32_t k = 0; k < VOICE_BLOCK; ++k) {
      x2 = x1, x1 = x0, x0 = block[k];
      y2 = y1, y1 = y0;
      float y = a0 * x0 + a1 * x1 + a2 * x2 - b1 * y1 - b2 * y2;
      kill_denormal_by_dc(y);
      y0 = y;
      block[k] = y;
    }
  }
  lp->x0 = x0, lp->x1 = x1, lp->x2 = x2, lp->y0 = y0, lp->y1 = y1, lp->y2 = y2;
}

// ==== State-variable filter

void chamberlin_filter_set_cutoff(chamberlin_filter* c, float hz) {
  double f = 2.0 * std::sin(double(clamp_f(hz, 0.0f, 22050.0f)) * std::numbers::pi / double(SAMPLE_RATE));
  c->f = clamp_f(float(f), 0.01f, 1.0f);
  c->changed = 1;
}

void chamberlin_filter_set_resonance(chamberlin_filter* c, float res) {
  c->q = clamp_f(float(std::pow(10.0, -double(res) / 10.0)) * 1.41421356237f, 0.0f, 1.0f);
  c->changed = 1;
}

void chamberlin_filter_make(chamberlin_filter* c) {
  chamberlin_filter_set_cutoff(c, 22050.0f);
  chamberlin_filter_set_resonance(c, 0.0f);
  c->low = c->high = c->band = c->notch = 0.0f;
}

void chamberlin_filter_do(chamberlin_filter* c, int32_t mode, float* block) {
  const float f = c->f, q = c->q;
  float low = c->low, high = c->high, band = c->band, notch = c->notch;
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) {
    low = low + f * band;
    high = q * block[k] - low - q * band;
    band = f * high + band;
    notch = high + low;
    if (mode == 0) block[k] = high;
    if (mode == 1) block[k] = low;
    if (mode == 2) block[k] = band;
    if (mode == 3) block[k] = notch;
  }
  c->low = low, c->high = high, c->band = band, c->notch = notch;
}

// ==== Eight voices in lanes

#if defined(__SSE__)
namespace {

// Four voices' filters, one voice per lane; each lane does exactly the arithmetic of lp_filter_do and
// chamberlin_filter_do (mode 0), in the same order, so the results are those of the per-voice calls.
struct private_lanes {
  __m128 a0, a1, a2, b1, b2, open;  // open: all bits set in the lanes whose low-pass passes the signal
  __m128 x0, x1, x2, y0, y1, y2;
  __m128 f, q, low, high, band, notch;
};

template <class T>
__m128 private_gather(const T* four, float T::*field) {
  return _mm_setr_ps(four[0].*field, four[1].*field, four[2].*field, four[3].*field);
}

template <class T>
void private_scatter(__m128 lanes, T* four, float T::*field) {
  alignas(16) float f[4];
  _mm_store_ps(f, lanes);
  for (int32_t v = 0; v < 4; ++v) four[v].*field = f[v];
}

private_lanes private_lanes_of(const lp_filter* lp, const chamberlin_filter* c) {
  __m128 open = _mm_cmpneq_ps(_mm_setr_ps(float(lp[0].open), float(lp[1].open), float(lp[2].open), float(lp[3].open)),
                              _mm_setzero_ps());
  return {private_gather(lp, &lp_filter::a0), private_gather(lp, &lp_filter::a1), private_gather(lp, &lp_filter::a2),
          private_gather(lp, &lp_filter::b1), private_gather(lp, &lp_filter::b2), open,
          private_gather(lp, &lp_filter::x0), private_gather(lp, &lp_filter::x1), private_gather(lp, &lp_filter::x2),
          private_gather(lp, &lp_filter::y0), private_gather(lp, &lp_filter::y1), private_gather(lp, &lp_filter::y2),
          private_gather(c, &chamberlin_filter::f), private_gather(c, &chamberlin_filter::q),
          private_gather(c, &chamberlin_filter::low), private_gather(c, &chamberlin_filter::high),
          private_gather(c, &chamberlin_filter::band), private_gather(c, &chamberlin_filter::notch)};
}

void private_lanes_store(const private_lanes& l, lp_filter* lp, chamberlin_filter* c) {
  private_scatter(l.x0, lp, &lp_filter::x0), private_scatter(l.x1, lp, &lp_filter::x1);
  private_scatter(l.x2, lp, &lp_filter::x2), private_scatter(l.y0, lp, &lp_filter::y0);
  private_scatter(l.y1, lp, &lp_filter::y1), private_scatter(l.y2, lp, &lp_filter::y2);
  private_scatter(l.low, c, &chamberlin_filter::low), private_scatter(l.high, c, &chamberlin_filter::high);
  private_scatter(l.band, c, &chamberlin_filter::band), private_scatter(l.notch, c, &chamberlin_filter::notch);
}

// One sample of four voices: low-pass (or passed through where open), then the state-variable high-pass.
inline __m128 private_lanes_step(private_lanes& l, __m128 x) {
  l.x2 = l.x1, l.x1 = l.x0, l.x0 = x;
  l.y2 = l.y1, l.y1 = l.y0;
  __m128 y = _mm_add_ps(_mm_mul_ps(l.a0, l.x0), _mm_mul_ps(l.a1, l.x1));
  y = _mm_add_ps(y, _mm_mul_ps(l.a2, l.x2));
  y = _mm_sub_ps(y, _mm_mul_ps(l.b1, l.y1));
  y = _mm_sub_ps(y, _mm_mul_ps(l.b2, l.y2));
  y = _mm_add_ps(y, _mm_set1_ps(1e-20f));
  y = _mm_or_ps(_mm_and_ps(l.open, l.x0), _mm_andnot_ps(l.open, y));
  l.y0 = y;
  l.low = _mm_add_ps(l.low, _mm_mul_ps(l.f, l.band));
  l.high = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(l.q, y), l.low), _mm_mul_ps(l.q, l.band));
  l.band = _mm_add_ps(_mm_mul_ps(l.f, l.high), l.band);
  l.notch = _mm_add_ps(l.high, l.low);
  return l.high;
}

// Voices first .. first + 3: four samples of each at a time, turned into four samples of four lanes.
void private_filter_four(float (*blocks)[VOICE_BLOCK], int32_t first) {
  private_lanes l = private_lanes_of(&lps[first], &chamberlins[first]);
  float *b0 = blocks[first], *b1 = blocks[first + 1], *b2 = blocks[first + 2], *b3 = blocks[first + 3];
  for (int32_t k = 0; k < VOICE_BLOCK; k += 4) {
    __m128 s0 = _mm_loadu_ps(b0 + k), s1 = _mm_loadu_ps(b1 + k), s2 = _mm_loadu_ps(b2 + k), s3 = _mm_loadu_ps(b3 + k);
    _MM_TRANSPOSE4_PS(s0, s1, s2, s3);
    s0 = private_lanes_step(l, s0);
    s1 = private_lanes_step(l, s1);
    s2 = private_lanes_step(l, s2);
    s3 = private_lanes_step(l, s3);
    _MM_TRANSPOSE4_PS(s0, s1, s2, s3);
    _mm_storeu_ps(b0 + k, s0), _mm_storeu_ps(b1 + k, s1), _mm_storeu_ps(b2 + k, s2), _mm_storeu_ps(b3 + k, s3);
  }
  private_lanes_store(l, &lps[first], &chamberlins[first]);
}

}  // namespace
#endif

void voice_filters_do(float (*blocks)[VOICE_BLOCK]) {
  for (lp_filter& lp : lps) {
    if (lp.dirty) private_lp_filter_setparams(&lp);
  }
#if defined(__SSE__)
  private_filter_four(blocks, 0);
  private_filter_four(blocks, 4);
#else
  for (int32_t v = 0; v < 8; ++v) {
    lp_filter_do(&lps[v], blocks[v]);
    chamberlin_filter_do(&chamberlins[v], 0, blocks[v]);
  }
#endif
}

void filters_make() {
  for (lp_filter& lp : lps) lp_filter_make(&lp);
  for (chamberlin_filter& c : chamberlins) chamberlin_filter_make(&c);
}

// ==== Delay

int delay_lines_make() {
  int ok = 1;
  for (int32_t v = 0; v < 8; ++v) {
    if (!array_allocate(delay_lines[v], DELAY_LINE_FLOATS - 1)) ok = 0;
    delay_line_tapin[v] = 0;
    delay_line_tapout[v] = 0;
  }
  return ok;
}

namespace {

// A view of one line with its positions held inside 0..length-1.
struct private_ring {
  float* data;
  int32_t length;
  int32_t read;
  int32_t write;
};

private_ring private_ring_of(int32_t line) {
  private_ring ring{array_data(delay_lines[line]), array_length(delay_lines[line]), delay_line_tapin[line],
                    delay_line_tapout[line]};
  if (ring.length < 1 || !ring.data) ring.length = 0;
  if (ring.read < 0 || ring.read >= ring.length) ring.read = 0;
  if (ring.write < 0 || ring.write >= ring.length) ring.write = 0;
  return ring;
}

void private_ring_store(const private_ring& ring, int32_t line) {
  delay_line_tapin[line] = ring.read;
  delay_line_tapout[line] = ring.write;
}

// Whole samples of delay, truncated toward zero, held to 1..length-1 (0 would otherwise mean a whole
// line of delay, and more than the line would wrap into a shorter one).
int32_t private_delay_samples(float delay, int32_t length) {
  int32_t d = trunc_to_i32(double(delay));
  return d < 1 ? 1 : (d > length - 1 ? length - 1 : d);
}

inline void private_adjust(private_ring& ring, int32_t samples) {
  ring.write = ring.read + samples;
  if (ring.write >= ring.length) ring.write -= ring.length;
}

inline float private_tapin(private_ring& ring) {
  float d = ring.data[ring.read];
  if (++ring.read == ring.length) ring.read = 0;
  return d;
}

// Non-finite values never enter a line; the 1e-20 keeps its recirculation out of the subnormal range.
inline void private_tapout(private_ring& ring, float x) {
  ring.data[ring.write] = (std::isfinite(x) ? x : 0.0f) + 1e-20f;
  if (++ring.write == ring.length) ring.write = 0;
}

struct private_delay_gains {
  float dry, wet, feedback;
};

// One sample: the echo `in` and the voice `x` go back into the line (never a non-finite value; the
// 1e-20 keeps the recirculation out of the subnormal range) and out as dry * x + wet * (echo + x).
inline float private_delay_sample(float in, float* out, float x, const private_delay_gains& g) {
  float s = in + x;
  float fed = s * g.feedback;
  *out = (std::isfinite(fed) ? fed : 0.0f) + 1e-20f;
  return g.dry * x + g.wet * s;
}

// `count` samples in which neither position reaches the end of the line. An echo of `samples` >= 4
// is never read back within four samples, so four at a time read and write what one at a time would.
void private_delay_stretch(const float* in, float* out, float* block, int32_t count, int32_t samples,
                           const private_delay_gains& g) {
  int32_t n = 0;
#if defined(__SSE2__)
  if (samples >= 4) {
    const __m128 dry = _mm_set1_ps(g.dry), wet = _mm_set1_ps(g.wet), feedback = _mm_set1_ps(g.feedback);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)), infinity = _mm_set1_ps(INFINITY);
    for (; n + 4 <= count; n += 4) {
      __m128 x = _mm_loadu_ps(block + n);
      __m128 s = _mm_add_ps(_mm_loadu_ps(in + n), x);
      __m128 fed = _mm_mul_ps(s, feedback);
      __m128 finite = _mm_cmplt_ps(_mm_and_ps(fed, magnitude), infinity);  // false for NaN too
      _mm_storeu_ps(out + n, _mm_add_ps(_mm_and_ps(finite, fed), _mm_set1_ps(1e-20f)));
      _mm_storeu_ps(block + n, _mm_add_ps(_mm_mul_ps(dry, x), _mm_mul_ps(wet, s)));
    }
  }
#else
  (void)samples;
#endif
  for (; n < count; ++n) block[n] = private_delay_sample(in[n], &out[n], block[n], g);
}

bool private_line_ok(int32_t line) { return line >= 0 && line < 8 && array_length(delay_lines[line]) >= 2; }

}  // namespace

float tapin(int32_t line) {
  if (!private_line_ok(line)) return 0.0f;
  private_ring ring = private_ring_of(line);
  float d = private_tapin(ring);
  private_ring_store(ring, line);
  return d;
}

void tapout(int32_t line, float x) {
  if (!private_line_ok(line)) return;
  private_ring ring = private_ring_of(line);
  private_tapout(ring, x);
  private_ring_store(ring, line);
}

void tap_adjusts(int32_t line, float delay) {
  if (!private_line_ok(line)) return;
  private_ring ring = private_ring_of(line);
  private_adjust(ring, private_delay_samples(delay, ring.length));
  private_ring_store(ring, line);
}

// A line that was never made (start-up ran out of memory) passes the voice dry: the audio thread
// does not allocate.
void feedback_delay(float* block, int32_t line, float dry, float delay, float feedback) {
  if (!private_line_ok(line)) return;
  private_ring ring = private_ring_of(line);
  int32_t samples = private_delay_samples(delay, ring.length);
  float wet = 1.0f - dry;
  // Sample by sample as tap_adjusts, tapin and tapout would go, cut into stretches in which neither
  // position reaches the end of the line (an echo shorter than a block is read back within it).
  private_adjust(ring, samples);
  for (int32_t k = 0; k < VOICE_BLOCK;) {
    int32_t stretch = VOICE_BLOCK - k;
    if (ring.length - ring.read < stretch) stretch = ring.length - ring.read;
    if (ring.length - ring.write < stretch) stretch = ring.length - ring.write;
    private_delay_stretch(ring.data + ring.read, ring.data + ring.write, block + k, stretch, samples,
                          {dry, wet, feedback});
    k += stretch;
    ring.read += stretch;
    if (ring.read == ring.length) ring.read = 0;
    private_adjust(ring, samples);
  }
  private_ring_store(ring, line);
}

// ==== Pan, mix, crossfade

// Constant-power law: -1 left, 0 centre (-3 dB each side), +1 right. A non-finite position is taken
// at the end on its sign's side, so a damaged preset cannot turn the gains into NaN.
void pan(float gains[2], float position) {
  if (!std::isfinite(position)) position = std::signbit(position) ? -1.0f : 1.0f;
  float theta = float(double(position) * -std::numbers::pi / 4.0);
  double c = std::cos(double(theta)), s = std::sin(double(theta));
  gains[0] = float(double(gains[0]) * (s + c) * 0.707106781185);
  gains[1] = float(double(gains[1]) * (c - s) * 0.707106781185);
}

namespace {

void private_add_scaled(float* __restrict to, const float* __restrict block, float gain) {
  for (int32_t k = 0; k < VOICE_BLOCK; ++k) to[k] += gain * block[k];
}

}  // namespace

void mix(float* left, float* right, const float* block, float volume, float position) {
  float g = volume_to_amp(volume);
  float gains[2] = {g, g};
  pan(gains, position);
  private_add_scaled(left, block, gains[0]);
  private_add_scaled(right, block, gains[1]);
}

// Linear from 0 to -2.7 dB over the first tenth, -3 * (1 - x) dB in the middle, linear to 0 dB at the end.
float crossfade_amp(float a, float x) {
  float level = amp_to_db(a);
  if (x <= 0.1f) return db_to_amp(level - 2.7f) * x * 10.0f;
  if (x < 0.9f) return db_to_amp(level - 3.0f * (1.0f - x));
  return 1.0f + (1.0f - db_to_amp(level - 0.3f)) * (x - 1.0f) * 10.0f;
}
