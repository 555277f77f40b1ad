// The grid's slot row, playlist recording and replay, and the fixed preset, on a grid record fed directly.
// (The grid's LEDs are the editor test's; the quit at the playlist's end the installed demo's.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/slots_section.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/frame.hpp"

namespace {
std::string resources;

// The resource folder is resolved once per process, so it is chosen before any test runs.
class PanelResources : public testing::Environment {
 public:
  void SetUp() override {
    char folder[] = "/tmp/kv-panel-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    resources = folder;
    setenv("KELVARIN_RESOURCES", folder, 1);
    oscs_make();
    modmatrix_make();
  }
  void TearDown() override { std::system(("rm -rf " + resources).c_str()); }
};
const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new PanelResources);

// A slot whose voice 0 volume tells it apart.
void save_marked_slot(int32_t slot, float volume) {
  synth().voices[0].volume = volume;
  ASSERT_STREQ(slot_save(slot), PRESET_SAVED);
}
float volume() { return synth().voices[0].volume; }
}  // namespace

TEST(GridPlaylist, SlotPressesLoadAndAppendTheEndButtonSavesAndReplayFollowsTheList) {
  save_marked_slot(2, 0.25f);
  save_marked_slot(5, 0.75f);
  event_array earlier{};
  *event_array_allocate(&earlier, 0) = {PLAYLIST_LOAD_SLOT, 500.0f, 1};
  ASSERT_TRUE(playlist_write(&earlier));
  array_reset(earlier);
  ASSERT_EQ(playlist_read(&synchro), 1);
  struct kelvarin_ui panel = {};  // a grid record that sends nothing: no address
  current_slot = 0;
  // One panel frame's grid work after the presses collected since the last one.
  auto frame = [&](float time, int32_t x, int32_t y) {
    if (x >= 0) monome_accept_press(&panel.grid, x, y, 1);
    monome_commit(&panel.grid);
    kelvarin_ui_grid_step(&panel, time);
  };
  frame(100.0f, 3, 2);  // neither the slot row nor the end button
  frame(200.0f, 1, GRID_END_ROW);
  EXPECT_EQ(event_array_length(&synchro), 1);
  frame(1000.0f, 2, GRID_SLOT_ROW);
  EXPECT_EQ(current_slot, 2);
  EXPECT_FLOAT_EQ(volume(), 0.25f);
  frame(1016.0f, -1, 0);  // a press is seen in one frame only
  EXPECT_EQ(event_array_length(&synchro), 2);
  frame(2500.0f, 5, GRID_SLOT_ROW);
  frame(2516.0f, -1, 0);
  EXPECT_EQ(current_slot, 5);
  EXPECT_FLOAT_EQ(volume(), 0.75f);
  frame(3000.0f, GRID_END_COLUMN, GRID_END_ROW);
  EXPECT_EQ(current_slot, 5) << "the end button loads nothing";
  event_array stored{};
  ASSERT_EQ(playlist_read(&stored), 4);
  const playlist_event expected[4] = {{PLAYLIST_LOAD_SLOT, 500.0f, 1}, {PLAYLIST_LOAD_SLOT, 1000.0f, 2},
                                      {PLAYLIST_LOAD_SLOT, 2500.0f, 5}, {PLAYLIST_END, 3000.0f, 0}};
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(std::memcmp(event_array_get(&stored, i), &expected[i], 12), 0) << i;
  array_reset(stored);

  // Replay: one event per frame once its time has passed; unknown slots and kinds count and do nothing.
  array_reset(synchro);
  pos = 0;
  save_marked_slot(3, 0.125f);
  const playlist_event events[] = {{PLAYLIST_LOAD_SLOT, 1000.0f, 2}, {PLAYLIST_LOAD_SLOT, 2000.0f, 9},
                                   {7, 2000.0f, 4}, {PLAYLIST_LOAD_SLOT, 2000.0f, 3}, {PLAYLIST_END, 5000.0f, 0}};
  for (int32_t i = 0; i < 5; ++i) *event_array_allocate(&synchro, i) = events[i];
  display_frame f{};
  const double times[] = {1000.0, 1000.5, 2100.0, 2101.0, 2102.0, 4999.0};
  const int32_t positions[] = {0, 1, 2, 3, 4, 4}, slots[] = {5, 2, 2, 2, 3, 3};
  for (int i = 0; i < 6; ++i) {
    f.time = times[i];
    oui_do_timeline(&f);
    EXPECT_EQ(pos, positions[i]) << times[i];
    EXPECT_EQ(current_slot, slots[i]) << times[i];
  }
  EXPECT_FLOAT_EQ(volume(), 0.125f);
  // A missing slot still becomes current and creates nothing; numbers outside 0..7 are ignored.
  oui_load_slot(8);
  oui_load_slot(-1);
  EXPECT_EQ(current_slot, 3);
  oui_load_slot(6);
  EXPECT_EQ(current_slot, 6);
  EXPECT_NE(access((resources + "/save-6.dat").c_str(), F_OK), 0);
  EXPECT_FLOAT_EQ(volume(), 0.125f);
}

TEST(FixedPreset, SetsOnlyTheListedCells) {
  modmatrix_make();
  for (int32_t k = 0; k < VFX_LAYERS; ++k) EXPECT_EQ(modmatrix[k][k].on, 1) << "slots store the flag as 0 or 1";
  modmatrix[0][1].scale = 0.5f;
  modmatrix[1][1].self = 1;
  vfx_cell before[VFX_LAYERS][VFX_LAYERS];
  std::memcpy(before, modmatrix, sizeof before);
  preset_zero_apply();
  EXPECT_EQ((std::vector<float>{modmatrix[0][0].scale, modmatrix[1][1].rotate_x, modmatrix[0][1].scale}),
            (std::vector<float>{1.011f, 0.16675f, 0.5f}));
  EXPECT_EQ((std::vector<int32_t>{modmatrix[0][0].on, modmatrix[0][2].on, modmatrix[1][1].self, modmatrix[2][2].on}),
            (std::vector<int32_t>{0, 1, 1, 1}));
  EXPECT_EQ(std::memcmp(modmatrix[3], before[3], sizeof before[3]), 0) << "row 3 is untouched";
}
