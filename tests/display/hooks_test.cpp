// Display frames and their hooks: order of steps, worlds made once, removal keeping indices, frame states.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/arch/opengl/frame.hpp"

namespace {

// What the hooks did, in order: "d0" = define of the hook with world 0, "c1" = commit of world 1, ...
std::vector<std::string> journal;
int worlds_made = 0;
int worlds_deleted = 0;
int worlds[8];
int null_worlds_left = 0;  // how many make-world calls still return null

void* make_world() {
  if (null_worlds_left > 0) {
    --null_worlds_left;
    return nullptr;
  }
  int n = worlds_made++;
  worlds[n] = n;
  return &worlds[n];
}
void delete_world(void* world) {
  ++worlds_deleted;
  journal.push_back("x" + std::to_string(*static_cast<int*>(world)));
}
void define(void* world, display_frame*) { journal.push_back("d" + std::to_string(*static_cast<int*>(world))); }
void commit(void* world, display_frame*) { journal.push_back("c" + std::to_string(*static_cast<int*>(world))); }

class FrameHooks : public testing::Test {
 protected:
  void SetUp() override {
    journal.clear();
    worlds_made = worlds_deleted = null_worlds_left = 0;
    frame_stats_make(&stats);
    frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  }
  void TearDown() override {
    frame_delete(&frame);
    frame_hooks_delete_all(&hooks);
  }
  int32_t add() { return display_frame_add_hooks(&frame, make_world, delete_world, define, commit); }
  void cycle() {
    display_frame_define(&frame, nullptr);
    display_frame_commit(&frame);
  }

  frame_stats stats;
  frame_hooks_array hooks{};
  display_frame frame;
};

using strings = std::vector<std::string>;

}  // namespace

TEST_F(FrameHooks, RunInIndexOrderWithWorldsMadeOnFirstUseAndKept) {
  EXPECT_EQ(add(), 0);
  EXPECT_EQ(add(), 1);
  EXPECT_EQ(worlds_made, 0);
  cycle();
  cycle();
  EXPECT_EQ(journal, (strings{"d0", "d1", "c0", "c1", "d0", "d1", "c0", "c1"}));
  EXPECT_EQ(worlds_made, 2);
}

TEST_F(FrameHooks, AddedWhileOpenDefinesAtOnceAndCommitsWithTheFrame) {
  display_frame_define(&frame, nullptr);
  EXPECT_EQ(add(), 0);
  EXPECT_EQ(journal, (strings{"d0"}));
  display_frame_commit(&frame);
  EXPECT_EQ(journal, (strings{"d0", "c0"}));
  journal.clear();
  EXPECT_EQ(add(), 1);  // closed frame: nothing runs until the next define
  EXPECT_TRUE(journal.empty());
}

TEST_F(FrameHooks, AHookAddedByADefineStepDefinesOnlyOnce) {
  static display_frame* open_frame;
  open_frame = &frame;
  auto adding_define = [](void*, display_frame* f) {
    journal.push_back("add");
    display_frame_add_hooks(f, make_world, delete_world, define, commit);
  };
  display_frame_add_hooks(&frame, make_world, delete_world, adding_define, nullptr);
  display_frame_define(open_frame, nullptr);
  EXPECT_EQ(journal, (strings{"add", "d1"}));
  display_frame_commit(&frame);
  EXPECT_EQ(journal, (strings{"add", "d1", "c1"}));
}

TEST_F(FrameHooks, RemovingKeepsIndicesAndDeletesOnlyWorldsMade) {
  add(), add(), add();
  display_frame_remove_hooks(&frame, 2);  // never used: no world to delete, the list shortens
  EXPECT_EQ(worlds_deleted, 0);
  EXPECT_EQ(array_length(hooks), 2);
  EXPECT_EQ(add(), 2);
  cycle();
  journal.clear();
  for (int32_t index : {-1, 3, 99}) display_frame_remove_hooks(&frame, index);  // outside: nothing
  EXPECT_TRUE(journal.empty());
  display_frame_remove_hooks(&frame, 1);  // the middle fails in place
  EXPECT_EQ(journal, (strings{"x1"}));
  EXPECT_EQ(array_length(hooks), 3);
  EXPECT_EQ(array_get(hooks, 1)->active, 0);
  cycle();
  EXPECT_EQ(journal, (strings{"x1", "d0", "d2", "c0", "c2"}));
  EXPECT_EQ(add(), 3);  // indices never move
  cycle();
  display_frame_remove_hooks(&frame, 3);  // the last, used: its world goes and the list shortens
  EXPECT_EQ(journal.back(), "x3");
  EXPECT_EQ(array_length(hooks), 3);
  frame_hooks_delete_all(&hooks);  // every remaining active world is deleted once
  EXPECT_EQ(worlds_deleted, 4);
  EXPECT_EQ(array_length(hooks), 0);
}

TEST_F(FrameHooks, AWorldMadeAsNullIsAskedForAgain) {
  null_worlds_left = 1;
  auto counting_define = [](void* world, display_frame*) { journal.push_back(world ? "world" : "none"); };
  display_frame_add_hooks(&frame, make_world, delete_world, counting_define, nullptr);
  cycle();
  cycle();
  EXPECT_EQ(journal, (strings{"none", "world"}));
  EXPECT_EQ(worlds_made, 1);
}

TEST_F(FrameHooks, FrameStatesFollowDefineCommitAndNone) {
  EXPECT_EQ(frame.none, 1);  // a frame never defined carries nothing
  EXPECT_EQ(frame.open, 0);
  display_device* device = reinterpret_cast<display_device*>(&worlds[0]);
  frame.device = device;
  display_device* handed = nullptr;
  display_frame_define(&frame, &handed);
  EXPECT_EQ(handed, device);
  EXPECT_EQ(frame.none, 0);
  EXPECT_EQ(frame.open, 1);
  EXPECT_EQ(frame.kind & 1, 0);
  display_frame_commit(&frame);
  EXPECT_EQ(frame.open, 0);
  EXPECT_GE(frame.commit_time, frame.define_time);
  add();
  journal.clear();
  display_frame_commit_none(&frame);
  EXPECT_EQ(frame.none, 1);
  EXPECT_EQ(frame.define_time, frame.commit_time);
  EXPECT_TRUE(journal.empty());  // no hooks run for a none frame
  frame.time = 1234.5;
  EXPECT_EQ(display_frame_in_ms(&frame), 1234.5);
  EXPECT_EQ(display_frame_device(&frame), device);
  EXPECT_EQ(display_frame_hooks(&frame), &hooks);
}
