// Hooks that let other modules act at every define and commit of a display frame.
#pragma once
#include <cstdint>

#include "toolset/array.hpp"

struct display_frame;

// A hook's world is made on its first use and kept until the hook is removed or the list is deleted.
// A make-world that returns null is asked again at the next use.
using frame_hooks_make_world_fn = void* (*)();
using frame_hooks_delete_world_fn = void (*)(void* world);
using frame_hooks_step_fn = void (*)(void* world, display_frame* frame);

struct frame_hooks {
  int32_t active;  // 1 after creation, 0 once failed; a failed hook keeps its index
  frame_hooks_make_world_fn make_world;
  frame_hooks_delete_world_fn delete_world;
  frame_hooks_step_fn define;
  frame_hooks_step_fn commit;
  void* world;
};

// One list per display device, shared by its frames; its address identifies the device's frames.
using frame_hooks_array = typed_array<frame_hooks>;

// Appends an active hook without a world; returns its index, or -1 when the list cannot grow.
int32_t frame_hooks_add(frame_hooks_array* list, frame_hooks_make_world_fn make_world,
                        frame_hooks_delete_world_fn delete_world, frame_hooks_step_fn define,
                        frame_hooks_step_fn commit);
// Removing the last hook shortens the list; removing an earlier one fails it in place so later
// indices stay valid. Indices outside the list are ignored.
void frame_hooks_remove(frame_hooks_array* list, int32_t index);
// Runs one hook's define step (making its world first); does nothing for an inactive hook.
void frame_hooks_run_define(frame_hooks_array* list, int32_t index, display_frame* frame);
// Runs every hook's define or commit step in index order. Only the hooks present when the call
// starts run: a hook added by another hook's step already ran its define when it was added.
void frame_hooks_define_all(frame_hooks_array* list, display_frame* frame);
void frame_hooks_commit_all(frame_hooks_array* list, display_frame* frame);
// Deletes the world of every active hook that has one, then frees the list.
void frame_hooks_delete_all(frame_hooks_array* list);
