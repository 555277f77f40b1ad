// The panel's page: every control of the synthesizer and the visuals, rebuilt and applied every frame.
//
// Every knob writes its result back every frame, also when untouched, so drawing the page clamps each
// field into its knob's range and snaps the quantised ones. The fields are shared with the audio and
// MIDI threads one 32-bit word at a time, hence the relaxed loads and stores.
#include <GL/gl.h>

#include <cmath>

#include "apps/experiments/widgets.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/recorder.hpp"
#include "apps/kelvarin/slots_section.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/display-glut.hpp"
#include "library/devices/audio-frame.hpp"
#include "library/devices/audio-xruns.hpp"
#include "pure/math.hpp"
#include "pure/music/notes.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr float SECONDS_PER_SAMPLE = 2.2675736961451248e-05f;  // at 44 100 Hz
constexpr float DELAY_MAX_SAMPLES = 441000.0f;                // ten seconds
constexpr float RESONANCE_MAX = 12.0f;
constexpr float DIVISOR_MIN = 0.5f, DIVISOR_MAX = 100.0f;
constexpr int32_t DIVISOR_DENOMINATOR = 8;  // divisors are simple fractions: rhythmic ratios
constexpr int32_t VISUALS_DENOMINATOR = 96;
constexpr float GAIN_MAX = 3.0f;

// A step through a list of names that also leads an unknown code back into the list.
int32_t private_next(int32_t code, int32_t count) { return int32_t((int64_t(code) + 1) % count + count) % count; }

ui* private_u(struct kelvarin_ui* panel) { return &panel->ui; }

// A knob over a shared word: the field is read once, shown with `shown`, and the result written back.
template <class... A>
void private_knob(struct kelvarin_ui* panel, float& field, float min, float max, const char* format, A... shown) {
  ui* u = private_u(panel);
  float v = load_relaxed(field);
  store_relaxed(field, ui_knob(u, ui_id(u), nullptr, v, min, max, format, shown...));
}

float private_knob_value(struct kelvarin_ui* panel, float value, float min, float max, const char* format, float shown) {
  ui* u = private_u(panel);
  return ui_knob(u, ui_id(u), nullptr, value, min, max, format, shown);
}

// A button is as wide as its format string, so a fixed text is the format itself, not an argument.
template <class... A>
int private_button(struct kelvarin_ui* panel, const char* format, A... text) {
  ui* u = private_u(panel);
  return ui_button(u, ui_id(u), nullptr, nullptr, format, text...);
}

void private_step(int32_t& field, int32_t count) { store_relaxed(field, private_next(load_relaxed(field), count)); }

// The voice's signal, oldest column first, read word by word while the audio thread writes the ring.
void private_plot(struct kelvarin_ui* panel, int32_t voice) {
  static float triples[3 * HISTORY_LENGTH];
  int32_t start = load_relaxed(oui_history.history_pos[voice]);
  if (start < 0 || start >= HISTORY_LENGTH) start = 0;
  for (int32_t k = 0; k < HISTORY_LENGTH; ++k) {
    const history_triple& t = oui_history.history[voice][(start + k) % HISTORY_LENGTH];
    triples[3 * k] = load_relaxed(t.marker);
    triples[3 * k + 1] = load_relaxed(t.low);
    triples[3 * k + 2] = load_relaxed(t.high);
  }
  ui* u = private_u(panel);
  xy size = {2.0f * ui_horizontal_period(u), ui_vertical_period(u)};
  ui_stats(u, nullptr, &size, triples, HISTORY_LENGTH);
}

// A cut-off moves on the note scale while its label shows Hertz.
void private_cutoff(struct kelvarin_ui* panel, float& hz, const char* format) {
  float v = load_relaxed(hz);
  float note = private_knob_value(panel, hz_to_midi_std(v), 0.0f, hz_to_midi_std(22050.0f), format, v);
  store_relaxed(hz, midi_to_hz_std(note));
}

// Above 1 Hz the frequency, at or below it the period.
void private_frequency(struct kelvarin_ui* panel, osc& o) {
  ui* u = private_u(panel);
  float divisor = load_relaxed(o.divisor);
  float f = midi_to_hz_std(load_relaxed(o.note)) / divisor;
  float result = f > 1.0f ? ui_knob(u, ui_id(u), nullptr, divisor, DIVISOR_MIN, DIVISOR_MAX, "%8.2f hz", f)
                          : ui_knob(u, ui_id(u), nullptr, divisor, DIVISOR_MIN, DIVISOR_MAX, "%8.2f s", 1.0f / f);
  store_relaxed(o.divisor, quantize_f(result, DIVISOR_DENOMINATOR));
}

void private_oscillator_row(struct kelvarin_ui* panel, int32_t i) {
  ui* u = private_u(panel);
  osc& o = synth().oscs[i];
  voice_params& w = synth().voices[i];
  ui_flow_make(&panel->osc_row, u, ui_id(u), &panel->osc_stack);
  private_do_margin(u);
  ui_label(u, nullptr, "%1d", int(i + 1));
  private_plot(panel, i);
  if (private_button(panel, "%s", osc_waveform_as_string(load_relaxed(o.kind)))) private_step(o.kind, OSC_WAVEFORMS);
  private_knob(panel, o.p1, 0.0f, 1.0f, "p1 %3.0f", load_relaxed(o.p1) * 100.0f);
  private_knob(panel, o.p2, 0.0f, 1.0f, "p2 %3.0f", load_relaxed(o.p2) * 100.0f);
  if (private_button(panel, "trig")) store_relaxed(o.started, 0);
  private_knob(panel, w.volume, 0.0f, 1.0f, "v %3.0f", load_relaxed(w.volume) * 100.0f);
  private_knob(panel, w.pan, -1.0f, 1.0f, "p %+3.0f", load_relaxed(w.pan) * 100.0f);
  private_knob(panel, w.delay_wet, 0.0f, 1.0f, "dr %3.0f", load_relaxed(w.delay_wet) * 100.0f);
  private_knob(panel, w.delay_feedback, 0.0f, 1.0f, "dfb %3.0f", load_relaxed(w.delay_feedback) * 100.0f);
  private_knob(panel, w.delay_time, 0.0f, DELAY_MAX_SAMPLES, "dl %1.2f", load_relaxed(w.delay_time) * SECONDS_PER_SAMPLE);
  private_cutoff(panel, w.hp_cutoff, "hpc %5.0f");
  private_knob(panel, w.hp_resonance, 0.0f, RESONANCE_MAX, "hpq %1.2f", load_relaxed(w.hp_resonance));
  private_cutoff(panel, w.lp_cutoff, "lpc %5.0f");
  private_knob(panel, w.lp_resonance, 0.0f, RESONANCE_MAX, "lpq %1.2f", load_relaxed(w.lp_resonance));
  if (private_button(panel, load_relaxed(o.note) < 0.0f ? "lfo" : "osc")) store_relaxed(o.note, -load_relaxed(o.note));
  private_frequency(panel, o);
  private_do_margin(u);
  ui_flow_destroy(&panel->osc_row, u);
}

// Source i's cells: what it does to each destination and by how much. The diagonal cell's type is
// fixed here; its weight still works.
void private_modulation_row(struct kelvarin_ui* panel, int32_t i) {
  ui* u = private_u(panel);
  ui_flow_make(&panel->mod_row, u, ui_id(u), &panel->osc_stack);
  private_do_margin(u);
  ui_label(u, nullptr, "    Modulating:");
  for (int32_t j = 0; j < 8; ++j) {
    mod_cell& c = synth().cells[i][j];
    if (private_button(panel, "%s", osc_modulation_type_as_string(load_relaxed(c.type))) && j != i)
      private_step(c.type, MOD_TYPES);
    float divisor = load_relaxed(c.divisor), q = load_relaxed(c.amount) / divisor;
    float result = private_knob_value(panel, q, -1.0f, 1.0f, "%+3.0f", q * 100.0f);
    store_relaxed(c.amount, result * divisor);
  }
  private_do_margin(u);
  ui_flow_destroy(&panel->mod_row, u);
}

float private_visuals_knob(struct kelvarin_ui* panel, float value, float range) {
  return quantize_f(private_knob_value(panel, value, -range, range, "%+3.0f", value * 100.0f), VISUALS_DENOMINATOR);
}

void private_layer_cell(struct kelvarin_ui* panel, int32_t k, int32_t m) {
  vfx_cell& x = modmatrix[k][m];
  if (private_button(panel, x.on ? "on" : "off")) x.on = !x.on;
  if (m == k && private_button(panel, "x:%s", x.self ? "on" : "off")) x.self = !x.self;
  x.scale = private_visuals_knob(panel, x.scale, 1.5f);
  x.rotate_x = private_visuals_knob(panel, x.rotate_x, 1.0f);
  x.rotate_z = private_visuals_knob(panel, x.rotate_z, 1.0f);
}

void private_voice_entry(struct kelvarin_ui* panel, int32_t v, int32_t k) {
  frame_modulation& e = modmatrix_of[v][k];
  ui_label(private_u(panel), nullptr, "%1d", int(v));
  if (private_button(panel, "%s", osc_frame_modulation_type_as_string(load_relaxed(e.type)))) private_step(e.type, FRAME_TYPES);
  if (private_button(panel, "%s", osc_frame_function_as_string(load_relaxed(e.function)))) private_step(e.function, FRAME_FUNCTIONS);
  float divisor = load_relaxed(e.divisor), q = load_relaxed(e.amount) / divisor;
  store_relaxed(e.amount, private_knob_value(panel, q, -1.0f, 1.0f, "%+3.0f", q * 100.0f) * divisor);
}

void private_layer_row(struct kelvarin_ui* panel, int32_t k) {
  ui* u = private_u(panel);
  ui_label(u, nullptr, "Frame %1d", int(k + 1));
  ui_flow_make(&panel->layer_row, u, ui_id(u), &panel->osc_stack);
  private_do_margin(u);
  for (int32_t m = 0; m < VFX_LAYERS; ++m) private_layer_cell(panel, k, m);
  for (int32_t v = 0; v < 8; ++v) private_voice_entry(panel, v, k);
  private_do_margin(u);
  ui_flow_destroy(&panel->layer_row, u);
}

// The visuals at half size in a box beside the slot section, drawn through a scaled modelview matrix.
void private_preview(struct kelvarin_ui* panel, display_frame* frame, xy a) {
  ui* u = private_u(panel);
  lrtb box = {a.x + 0.25f, a.x + 1.0f, a.y, a.y - 0.75f};
  ui_cliparea_begin(u, &box);
  glPushMatrix();
  glScalef(0.5f, 0.5f, 1.0f);
  glTranslatef(box.l, box.t, 0.0f);
  vfx_do(frame);
  glPopMatrix();
  ui_cliparea_end(u);
  ui_add(u, ui_id(u), &box);
}

void private_input_row(struct kelvarin_ui* panel) {
  ui* u = private_u(panel);
  ui_flow_make(&panel->input_row, u, ui_id(u), &panel->outer);
  private_do_margin(u);
  ui_label(u, nullptr, "Midi-IN activity: ");
  ui_label(u, nullptr, "%s", midi_in_activity() == 1 ? "yes" : "no");
  private_knob(panel, gain, 0.0f, GAIN_MAX, "gain");
  // The health a performer cannot read off the terminal on stage: the audio callback's share of the
  // block and the display rate of the last statistics lines, and the audio server's xruns.
  ui_label(u, nullptr, "audio %.1f%%", double(audio_frame_reported_load()) * 100.0);
  ui_label(u, nullptr, "xruns %d", int(audio_io_xrun_count()));
  ui_label(u, nullptr, "display %.1f fps", double(display_io_reported_fps()));
  private_do_margin(u);
  ui_flow_destroy(&panel->input_row, u);
}

// "Kelvarin" and the recorder's button, which shows the running time while it records.
void private_title_row(struct kelvarin_ui* panel) {
  ui* u = private_u(panel);
  ui_flow_make(&panel->title_row, u, ui_id(u), &panel->outer);
  ui_label(u, nullptr, "Kelvarin");
  hid id = ui_id(u);
  int seconds = int(recorder_seconds());
  int pressed = recorder_recording() ? ui_button(u, id, nullptr, nullptr, "rec %d:%02d", seconds / 60, seconds % 60)
                                     : ui_button(u, id, nullptr, nullptr, "rec");
  if (pressed) recorder_toggle();
  ui_flow_destroy(&panel->title_row, u);
}

}  // namespace

void kelvarin_ui(struct kelvarin_ui* panel, display_frame* frame) {
  ui* u = private_u(panel);
  const float white[4] = {1, 1, 1, 1};
  ui_background(u, white);
  kelvarin_ui_grid_step(panel, float(display_frame_in_ms(frame)));
  ui_stack_make(&panel->outer, u, ui_id(u), nullptr);
  private_do_margin(u);
  private_title_row(panel);
  if (ui_button(u, ui_id(u), nullptr, nullptr, "visuals")) visuals_p = !visuals_p;
  xy a;
  ui_anchor(u, &a);
  save_slots(panel);
  if (visuals_p) private_preview(panel, frame, a);
  private_input_row(panel);
  ui_label(u, nullptr, "Oscillators");
  ui_stack_make(&panel->osc_stack, u, ui_id(u), &panel->outer);
  private_do_margin(u);
  for (int32_t i = 0; i < 8; ++i) {
    private_oscillator_row(panel, i);
    private_modulation_row(panel, i);
  }
  for (int32_t k = 0; k < VFX_LAYERS; ++k) private_layer_row(panel, k);
  private_do_margin(u);
  ui_layout_destroy(&panel->osc_stack, u);
  private_do_margin(u);
  ui_layout_destroy(&panel->outer, u);
}
