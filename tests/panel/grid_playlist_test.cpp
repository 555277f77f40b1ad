// The grid's slot row, playlist recording, replay and the fixed preset, on a grid record fed directly.
#include <gtest/gtest.h>

#include <sys/stat.h>
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

bool exists(const std::string& name) { return access((resources + "/" + name).c_str(), F_OK) == 0; }

// A slot whose voice 0 volume tells it apart.
void save_marked_slot(int32_t slot, float volume) {
  synth().voices[0].volume = volume;
  ASSERT_STREQ(slot_save(slot), PRESET_SAVED);
}

class GridPlaylist : public testing::Test {
 protected:
  void SetUp() override {
    panel = {};  // a grid record that sends nothing: no address
    array_reset(synchro);
    pos = 0;
    current_slot = 0;
    std::remove((resources + "/playlist").c_str());
  }
  // One panel frame's grid work after the presses collected since the last one.
  void frame(float time) {
    monome_commit(&panel.grid);  // brings the presses to the front, as the end of the previous frame
    kelvarin_ui_grid_step(&panel, time);
  }
  int32_t lit(int32_t column) {
    return panel.grid.halves[panel.grid.front & 1].led[GRID_SLOT_ROW * 8 + column];
  }
  struct kelvarin_ui panel;
};

}  // namespace

TEST_F(GridPlaylist, SlotPressesAndTheEndButtonAppendToTheEventsAlreadyThere) {
  save_marked_slot(2, 0.25f);
  save_marked_slot(5, 0.75f);
  event_array earlier{};
  playlist_event* old = event_array_allocate(&earlier, 0);
  ASSERT_NE(old, nullptr);
  *old = {PLAYLIST_LOAD_SLOT, 500.0f, 1};
  ASSERT_TRUE(playlist_write(&earlier));
  array_reset(earlier);
  ASSERT_EQ(playlist_read(&synchro), 1);

  monome_accept_press(&panel.grid, 2, GRID_SLOT_ROW, 1);
  monome_accept_press(&panel.grid, 2, GRID_SLOT_ROW, 0);  // the release changes nothing
  frame(1000.0f);
  EXPECT_EQ(current_slot, 2);
  EXPECT_FLOAT_EQ(synth().voices[0].volume, 0.25f);
  frame(1016.0f);  // a press is seen in one frame only
  EXPECT_EQ(event_array_length(&synchro), 2);
  EXPECT_TRUE(lit(2) == 1 && lit(0) == 0);

  monome_accept_press(&panel.grid, 5, GRID_SLOT_ROW, 1);
  frame(2500.0f);
  frame(2516.0f);
  EXPECT_EQ(current_slot, 5);
  EXPECT_FLOAT_EQ(synth().voices[0].volume, 0.75f);
  EXPECT_TRUE(lit(5) == 1 && lit(2) == 0);

  monome_accept_press(&panel.grid, GRID_END_COLUMN, GRID_END_ROW, 1);
  frame(3000.0f);
  event_array stored{};
  ASSERT_EQ(playlist_read(&stored), 4);
  const playlist_event expected[4] = {{PLAYLIST_LOAD_SLOT, 500.0f, 1}, {PLAYLIST_LOAD_SLOT, 1000.0f, 2},
                                      {PLAYLIST_LOAD_SLOT, 2500.0f, 5}, {PLAYLIST_END, 3000.0f, 0}};
  for (int32_t i = 0; i < 4; ++i) {
    const playlist_event* e = event_array_get(&stored, i);
    EXPECT_TRUE(e->kind == expected[i].kind && e->time == expected[i].time && e->slot == expected[i].slot) << i;
  }
  array_reset(stored);
  EXPECT_EQ(current_slot, 5) << "the end button loads nothing";
}

TEST_F(GridPlaylist, PressesOutsideTheSlotRowAndTheEndButtonDoNothing) {
  monome_accept_press(&panel.grid, 3, 2, 1);
  monome_accept_press(&panel.grid, 1, GRID_END_ROW, 1);
  frame(100.0f);
  EXPECT_EQ(event_array_length(&synchro), 0);
  EXPECT_EQ(current_slot, 0);
  EXPECT_FALSE(exists("playlist"));
}

TEST_F(GridPlaylist, ReplayLoadsEachSlotOnceItsTimeHasPassedOnePerFrame) {
  save_marked_slot(2, 0.5f);
  save_marked_slot(3, 0.125f);
  const playlist_event events[] = {{PLAYLIST_LOAD_SLOT, 1000.0f, 2},
                                   {PLAYLIST_LOAD_SLOT, 2000.0f, 9},  // no such slot: counted, ignored
                                   {7, 2000.0f, 4},                    // unknown kind: skipped
                                   {PLAYLIST_LOAD_SLOT, 2000.0f, 3}};
  for (int32_t i = 0; i < 4; ++i) *event_array_allocate(&synchro, i) = events[i];
  display_frame f{};
  auto at = [&](double time) {
    f.time = time;
    oui_do_timeline(&f);
  };
  at(1000.0);  // not yet: the time must be passed
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(current_slot, 0);
  at(1000.5);
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(current_slot, 2);
  EXPECT_FLOAT_EQ(synth().voices[0].volume, 0.5f);
  at(2100.0);
  EXPECT_EQ(current_slot, 2);
  at(2101.0);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(current_slot, 2);
  at(2102.0);
  EXPECT_EQ(current_slot, 3);
  EXPECT_FLOAT_EQ(synth().voices[0].volume, 0.125f);
  at(9000.0);  // past the end of the list: nothing more happens
  EXPECT_EQ(pos, 4);
}

TEST_F(GridPlaylist, ReplayEndsTheProgramWithStatusZeroAtTheEndEvent) {
  *event_array_allocate(&synchro, 0) = {PLAYLIST_END, 5000.0f, 0};
  display_frame f{};
  f.time = 4999.0;
  oui_do_timeline(&f);
  EXPECT_EQ(pos, 0);
  f.time = 5001.0;
  EXPECT_EXIT(oui_do_timeline(&f), testing::ExitedWithCode(0), "");
}

TEST_F(GridPlaylist, LoadingAMissingOrUnknownSlotCreatesNothing) {
  oui_load_slot(8);
  oui_load_slot(-1);
  EXPECT_EQ(current_slot, 0);
  ASSERT_FALSE(exists("save-6.dat"));
  synth().voices[0].volume = 0.3f;
  oui_load_slot(6);
  EXPECT_EQ(current_slot, 6) << "a failed load still makes the slot current";
  EXPECT_FALSE(exists("save-6.dat"));
  EXPECT_FLOAT_EQ(synth().voices[0].volume, 0.3f);
}

TEST(FixedPreset, SetsOnlyTheListedCells) {
  modmatrix_make();
  modmatrix[0][1].scale = 0.5f;
  modmatrix[3][3].on = 0;
  modmatrix[1][1].self = 1;
  vfx_cell before[VFX_LAYERS][VFX_LAYERS];
  std::memcpy(before, modmatrix, sizeof before);
  preset_zero_apply();
  EXPECT_EQ(modmatrix[0][0].on, 0);
  EXPECT_FLOAT_EQ(modmatrix[0][0].scale, 1.011f);
  EXPECT_FLOAT_EQ(modmatrix[0][0].rotate_x, 0.011458334f);
  EXPECT_EQ(modmatrix[0][2].on, 1);
  EXPECT_FLOAT_EQ(modmatrix[0][2].rotate_z, 0.2525f);
  EXPECT_FLOAT_EQ(modmatrix[1][1].scale, -1.007f);
  EXPECT_FLOAT_EQ(modmatrix[1][1].rotate_x, 0.16675f);
  EXPECT_EQ(modmatrix[1][1].self, 1);
  EXPECT_EQ(modmatrix[2][2].on, 1);
  EXPECT_FLOAT_EQ(modmatrix[2][2].scale, before[2][2].scale);
  EXPECT_FLOAT_EQ(modmatrix[0][1].scale, 0.5f);
  EXPECT_EQ(std::memcmp(modmatrix[3], before[3], sizeof before[3]), 0) << "row 3 is untouched";
}
