// The panel page in a real window under Xvfb: snapping, labels, buttons that wrap, the diagonal cell,
// MIDI activity, the signal plots, the slot section, the visuals preview, and pictures of the page.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals.hpp"
#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/extensions.hpp"
#include "tests/panel/panel_fixture.hpp"
#include "tests/support/servers.hpp"

namespace {

bool visible(int x, int y) { return x > 0 && y > 0 && x < panel_width && y < panel_height; }

class PanelPage : public PanelFixture {
 protected:
  // Scrolls the first visuals layer's rows into view (the scroll is put back by TearDown).
  bool show_layers() {
    const drawn_text* layer = window->find("Frame 1");
    if (!layer) return false;
    oui.osc_stack.scroll += 0.2f - layer->y;
    window->frame();
    window->frame();
    return true;
  }
  void TearDown() override {
    oui.osc_stack.scroll = scroll;
    PanelFixture::TearDown();
  }
  float scroll = oui.osc_stack.scroll;
};

}  // namespace

TEST_F(PanelPage, TheFirstFrameSnapsCutoffsDivisorsAndVisualsIntoTheirKnobs) {
  synth_state& s = synth();
  s.voices[0].hp_cutoff = 0.0f;
  s.voices[0].lp_cutoff = 22050.0f;
  const float divisors[4][2] = {{1.0f, 1.0f}, {1.3f, 1.25f}, {0.3f, 0.5f}, {250.0f, 100.0f}};
  for (int i = 0; i < 4; ++i) s.oscs[i].divisor = divisors[i][0];
  modmatrix[0][0].scale = 0.97f;
  modmatrix[1][1].scale = 1.0f;
  modmatrix[2][2].rotate_z = 0.25f;
  window->frame();
  EXPECT_NEAR(s.voices[0].hp_cutoff, 16.3516f, 0.001f);
  EXPECT_NEAR(s.voices[0].lp_cutoff, 22050.0f, 0.5f);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(s.oscs[i].divisor, divisors[i][1]) << i;
  EXPECT_FLOAT_EQ(modmatrix[0][0].scale, 0.96875f);
  EXPECT_FLOAT_EQ(modmatrix[1][1].scale, 1.0f);
  EXPECT_FLOAT_EQ(modmatrix[2][2].rotate_z, 0.25f);
  window->frame();  // labels show the value the knob was given, so the snapped cutoff shows now
  EXPECT_GE(window->count("hpc    16"), 1);
  EXPECT_GE(window->count("lpc 22050"), 1);
}

TEST_F(PanelPage, TheModeButtonShowsOscOrLfoAndTheFrequencyKnobHertzOrSeconds) {
  osc& o = synth().oscs[0];
  o.note = 57.0f;
  o.divisor = 1.0f;
  window->frame();
  EXPECT_GE(window->count("  440.00 hz"), 1);
  ASSERT_TRUE(window->click_text("osc"));
  EXPECT_EQ(o.note, -57.0f);
  window->frame();
  EXPECT_EQ(window->count("lfo"), 1);
  EXPECT_EQ(window->count("    1.65 s"), 1);
  o.note = 0.0f;
  window->frame();
  ASSERT_TRUE(window->click_text("osc"));
  EXPECT_TRUE(std::signbit(o.note)) << "the toggle negates";
  window->frame();
  EXPECT_EQ(window->count("lfo"), 0) << "-0 is not below 0";
  o.note = 57.0f;
}

TEST_F(PanelPage, KindButtonStepsAndWrapsFromFivToSin) {
  osc& o = synth().oscs[0];
  o.kind = 10;
  window->frame();
  const drawn_text* kind = window->find("bsq");
  ASSERT_NE(kind, nullptr);
  int x, y;
  window->text_point(*kind, &x, &y);
  window->click(x, y);
  EXPECT_EQ(o.kind, 11);
  window->click(x, y);
  EXPECT_EQ(o.kind, 0);
  window->frame();
  EXPECT_EQ(window->texts()[size_t(kind - &window->texts()[0])].text, "sin");
}

TEST_F(PanelPage, TheDiagonalTypeButtonDoesNothingWhileItsWeightKnobWorks) {
  synth_state& s = synth();
  s.cells[0][0] = {1, 0.5f, 1.0f, 0.0f, 0};
  s.cells[0][1] = {9, 0.0f, 1.0f, 0.0f, 0};
  window->frame();
  int row = window->index_after("Oscillators", "    Modulating:");
  ASSERT_GE(row, 0);
  drawn_text diagonal = window->texts()[row + 1], weight = window->texts()[row + 2], next = window->texts()[row + 3];
  EXPECT_EQ(diagonal.text + weight.text + next.text, "out+50pr2");
  int x, y;
  window->text_point(diagonal, &x, &y);
  window->click(x, y);
  EXPECT_EQ(s.cells[0][0].type, 1);
  window->text_point(next, &x, &y);
  window->click(x, y);
  EXPECT_EQ(s.cells[0][1].type, 0) << "pr2 wraps to zro";
  window->knob_centre(weight, &x, &y);
  window->drag(x, y, 60);
  EXPECT_GT(s.cells[0][0].amount, 0.55f);
}

TEST_F(PanelPage, MidiActivityShowsForExactlyOneFrameAndAVolumeKnobDragsUp) {
  synth().voices[0].volume = 0.0f;
  window->frame();
  EXPECT_EQ(window->count("no"), 1);
  oui_accept_midi();
  window->frame();
  EXPECT_EQ(window->count("yes"), 1);
  EXPECT_EQ(window->count("no"), 0);
  window->frame();
  EXPECT_EQ(window->count("yes"), 0);
  const drawn_text* knob = window->find("v   0");
  ASSERT_NE(knob, nullptr);
  int x, y;
  window->knob_centre(*knob, &x, &y);
  window->drag(x, y, 80);
  EXPECT_GT(synth().voices[0].volume, 0.2f);
  EXPECT_LE(synth().voices[0].volume, 1.0f);
}

TEST_F(PanelPage, ASilentVoicePlotsAFlatLineAtHalfHeightAndALoudOneItsRange) {
  kelvarin_ui_history_make(&oui_history);
  auto feed = [](float level) {
    for (int i = 0; i < 4 * HISTORY_LENGTH + 1; ++i) kelvarin_ui_next_sample(&oui_history, 0, i % 2 ? level : -level);
  };
  const float vp = window->vp_pixels(), hp = window->hp_pixels();
  // The share of dark pixels across the first plot at a height (a fraction of the plot, from its bottom).
  auto band = [&](float fraction) {
    int label = window->index_after("Oscillators", "1");
    if (label < 0) return -1.0;
    const drawn_text& t = window->texts()[size_t(label)];
    // The plot sits right of its one-digit label, its top level with the label's top.
    float left = (t.x + 1.0f) * 0.5f * panel_width + 8.0f + 0.025f * 0.5f * panel_width;
    float top = (1.0f - t.y) * 0.5f * panel_height - 11.0f;
    int y = int(top + vp * (1.0f - fraction)), dark = 0, n = 0;
    for (int x = int(left + 2); x < int(left + 2 * hp - 2); ++x, ++n) dark += window->pixel(x, y).g < 235;
    return double(dark) / n;
  };
  feed(0.0f);
  window->frame();
  EXPECT_GT(band(0.5f), 0.9) << "the marker at half height";
  EXPECT_LT(band(0.1f), 0.1) << "nothing near the bottom";
  EXPECT_LT(band(0.9f), 0.1) << "nothing near the top";
  feed(0.9f);
  window->frame();
  EXPECT_GT(band(0.1f), 0.9) << "the range bar reaches down";
  EXPECT_GT(band(0.9f), 0.9) << "and up";
  kelvarin_ui_history_make(&oui_history);
}

TEST_F(PanelPage, SavingThenPressingSlotFiveSavesAndPressingItAgainLoads) {
  std::remove((resources() + "/save-5.dat").c_str());
  current_slot = 0;
  window->frame();
  ASSERT_TRUE(window->click_text("saving?"));
  EXPECT_EQ(window->count("saving:"), 1);
  synth().voices[3].volume = 0.375f;
  ASSERT_TRUE(window->click_text("5"));
  struct stat st {};
  ASSERT_EQ(stat((resources() + "/save-5.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, SLOT_FILE_BYTES);
  EXPECT_EQ(window->count("MSG: save succesfully."), 1);
  EXPECT_EQ(window->count("[5]"), 1);
  EXPECT_EQ(window->count("[0]"), 0);
  EXPECT_EQ(window->count("saving?"), 1);
  synth().voices[3].volume = 0.0f;
  window->frame();
  ASSERT_TRUE(window->click_text("[5]"));
  EXPECT_EQ(window->count("MSG: loaded succesfully."), 1);
  EXPECT_FLOAT_EQ(synth().voices[3].volume, 0.375f);
}

// The preview runs the visuals engine once per frame, which clears the triggers the audio side raised.
TEST_F(PanelPage, TheVisualsButtonRunsThePreviewUntilClickedAgain) {
  ASSERT_TRUE(opengl_extensions_init());
  vfx_attach_sized(nullptr, pixel_size{panel_width, panel_height});
  modmatrix_of[2][1].type = 4;  // "trg": the frame pass takes the trigger
  modmatrix_of[2][1].trigger = 1;
  window->frame();
  EXPECT_EQ(modmatrix_of[2][1].trigger, 1);
  float below = window->find("Midi-IN activity: ")->y;
  ASSERT_TRUE(window->click_text("visuals"));
  EXPECT_EQ(visuals_p, 1);
  EXPECT_EQ(modmatrix_of[2][1].trigger, 0);
  EXPECT_LT(window->find("Midi-IN activity: ")->y, below - 0.05f) << "the page continues below the preview";
  EXPECT_FALSE(ui_unbalanced_p(&oui.ui));
  window->mouse_away();
  window->save_png(binary_dir() + "/panel-visuals.png");
  ASSERT_TRUE(window->click_text("visuals"));
  EXPECT_EQ(visuals_p, 0);
  modmatrix_of[2][1].trigger = 1;
  window->frame();
  EXPECT_EQ(modmatrix_of[2][1].trigger, 1);
  vfx_detach();
  modmatrix_make();
}

// The pictures the README shows (the top of the page, and the layer rows scrolled into view), and the
// layer's type and function buttons wrapping.
TEST_F(PanelPage, PicturesOfThePageAndTheFrameButtonsWrap) {
  kelvarin_ui_history_make(&oui_history);
  for (int i = 0; i < 4 * HISTORY_LENGTH; ++i)
    for (int v = 0; v < 8; ++v)
      kelvarin_ui_next_sample(&oui_history, v, float(0.8 * std::sin(i * 0.002 * (v + 1)) * std::exp(-i * 0.0005 * v)));
  modmatrix_of[0][0].type = 6;
  modmatrix_of[0][0].function = 3;
  window->mouse_away();
  window->frame();
  std::string top = binary_dir() + "/panel-top.png", layers = binary_dir() + "/panel-layers.png";
  ASSERT_TRUE(window->save_png(top));
  EXPECT_EQ(window->count("Kelvarin"), 1);
  ASSERT_TRUE(show_layers());
  int x, y;
  const drawn_text* type = window->find("mvv");
  ASSERT_NE(type, nullptr);
  window->text_point(*type, &x, &y);
  EXPECT_TRUE(visible(x, y)) << x << " " << y;
  ASSERT_TRUE(window->save_png(layers));
  std::printf("pictures: %s %s\n", top.c_str(), layers.c_str());
  window->click(x, y);
  EXPECT_EQ(modmatrix_of[0][0].type, 0);
  ASSERT_TRUE(window->click_text("max"));
  EXPECT_EQ(modmatrix_of[0][0].function, 0);
}
