// The panel page in a real window under Xvfb: an oscillator row's controls, widths and ranges, what the
// first frame snaps, MIDI activity, and the mode, kind and diagonal buttons. (Saving and loading slots
// with the mouse, and the page's picture, are the editor test's.)
#include <gtest/gtest.h>

#include <string>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "tests/panel/panel_window.hpp"

namespace {
using PanelPage = PanelFixture;
const drawn_text* in_rows(panel_window& w, const std::string& text) {
  int i = w.index_after("Oscillators", text);
  return i < 0 ? nullptr : &w.texts()[size_t(i)];
}
}  // namespace

// Every control of the first oscillator's row in order, each button as wide as its format string in
// font heights (a control's text starts 0.618 font heights plus the padding into its box, the next
// control a gap of 0.025 after the box), and every knob's range.
TEST_F(PanelPage, AnOscillatorRowInOrderWithItsButtonWidthsAndKnobRanges) {
  synth_state& s = synth();
  osc& o = s.oscs[0];
  voice_params& v = s.voices[0];
  o.kind = 3, o.p1 = 0.25f, o.p2 = 0.5f, o.note = 57.0f, o.divisor = 2.0f;
  v.volume = 0.8f, v.pan = -0.5f, v.delay_wet = 0.1f, v.delay_feedback = 0.2f, v.delay_time = 44100.0f;
  v.hp_cutoff = 1000.0f, v.hp_resonance = 0.5f, v.lp_cutoff = 5000.0f, v.lp_resonance = 1.0f;
  modmatrix[0][0].on = 0;
  window->frame();
  const std::vector<std::string> row = {"1",        "squ",       "p1  25",   "p2  50",    "trig",     "v  80",
                                        "p -50",    "dr  10",    "dfb  20",  "dl 1.00",   "hpc  1000", "hpq 0.50",
                                        "lpc  5000", "lpq 1.00", "osc",      "  220.00 hz", "    Modulating:"};
  int first = window->index_after("Oscillators", "1");
  ASSERT_GE(first, 0);
  for (size_t k = 0; k < row.size(); ++k) EXPECT_EQ(window->texts()[size_t(first) + k].text, row[k]) << k;
  const float fh = 2.0f * 13.0f / float(panel_height), gap = 0.025f;
  // From a button's text to the next control's: the rest of its box and the gap (and, to another
  // button, that one's text offset). A knob's label starts at its box.
  auto expect_width = [&](const drawn_text* b, int n) {
    ASSERT_NE(b, nullptr);
    const drawn_text& next = *(b + 1);
    float offset = next.text.rfind("x:", 0) == 0 ? 0.618f * fh + 4.0f / panel_width : 0.0f;
    EXPECT_NEAR(next.x - b->x, (float(n) - 0.618f) * fh + gap + offset, 2.0f / panel_width) << b->text;
  };
  for (auto [text, n] : {std::pair{"squ", 2}, {"trig", 4}, {"osc", 3}})
    expect_width(in_rows(*window, text), n);
  for (auto [text, n] : {std::pair{"on", 2}, {"off", 3}}) expect_width(window->find(text), n);
  struct range {
    float* field;
    float min, max;
  } ranges[] = {{&o.p1, 0, 1}, {&o.p2, 0, 1}, {&v.volume, 0, 1}, {&v.pan, -1, 1}, {&v.delay_wet, 0, 1},
                {&v.delay_feedback, 0, 1}, {&v.delay_time, 0, 441000}, {&v.hp_resonance, 0, 12},
                {&v.lp_resonance, 0, 12}, {&o.divisor, 0.5f, 100}, {&v.hp_cutoff, 16.351598f, 22050},
                {&v.lp_cutoff, 16.351598f, 22050}, {&gain, 0, 3}};
  const float saved_gain = gain;
  for (float beyond : {-1e6f, 1e6f}) {
    for (range& r : ranges) *r.field = beyond;
    window->frame();
    for (range& r : ranges) EXPECT_NEAR(*r.field, beyond < 0 ? r.min : r.max, 0.01f) << int(&r - ranges);
  }
  gain = saved_gain;
  panel_fresh_state();
}

TEST_F(PanelPage, FirstFrameSnapsMidiActivityAndTheModeKindAndDiagonalButtons) {
  window->frame();
  EXPECT_EQ(window->count("no"), 1);
  oui_accept_midi();
  window->frame();
  EXPECT_EQ(window->count("yes"), 1);
  synth_state& s = synth();
  const float divisors[4][2] = {{1.0f, 1.0f}, {1.3f, 1.25f}, {0.3f, 0.5f}, {250.0f, 100.0f}};
  for (int i = 0; i < 4; ++i) s.oscs[i].divisor = divisors[i][0];
  modmatrix[0][0].scale = 0.97f;
  window->frame();
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(s.oscs[i].divisor, divisors[i][1]) << i;
  EXPECT_FLOAT_EQ(modmatrix[0][0].scale, 0.96875f);
  osc& o = s.oscs[0];
  o.note = 57.0f, o.divisor = 1.0f, o.kind = 11;
  window->frame();
  EXPECT_GE(window->count("  440.00 hz"), 1);
  ASSERT_TRUE(window->click_text("osc"));
  EXPECT_EQ(o.note, -57.0f);
  EXPECT_EQ(window->count("lfo"), 1);
  EXPECT_EQ(window->count("    1.65 s"), 1);
  ASSERT_TRUE(window->click_text("fiv"));
  EXPECT_EQ(o.kind, 0);
  s.cells[0][0] = {1, 0.5f, 1.0f, 0.0f, 0};
  s.cells[0][1] = {9, 0.0f, 1.0f, 0.0f, 0};
  window->frame();
  int row = window->index_after("Oscillators", "    Modulating:");
  ASSERT_GE(row, 0);
  std::string cells;
  for (int k = 1; k <= 3; ++k) cells += window->texts()[size_t(row + k)].text;
  EXPECT_EQ(cells, "out+50pr2");
  ASSERT_TRUE(window->click_text("out"));
  EXPECT_EQ(s.cells[0][0].type, 1) << "the diagonal's type stays";
  ASSERT_TRUE(window->click_text("pr2"));
  EXPECT_EQ(s.cells[0][1].type, 0) << "pr2 wraps to zro";
  panel_fresh_state();
}
