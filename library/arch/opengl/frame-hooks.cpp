// Hooks that let other modules act at every define and commit of a display frame.
#include "library/arch/opengl/frame-hooks.hpp"

namespace {

void private_frame_hooks_delete_world(frame_hooks* hook) {
  if (hook->world && hook->delete_world) hook->delete_world(hook->world);
  hook->world = nullptr;
}

// The world is made lazily so that hooks added before any GL context exists still get one. Steps and
// world makers may add hooks and so move the list's storage: the hook is looked up again after each.
void private_frame_hooks_run(frame_hooks_array* list, int32_t index, display_frame* frame, bool define) {
  frame_hooks* hook = array_get(*list, index);
  if (!hook || !hook->active) return;
  if (!hook->world && hook->make_world) {
    void* world = hook->make_world();
    hook = array_get(*list, index);
    if (!hook) return;
    hook->world = world;
  }
  frame_hooks_step_fn step = define ? hook->define : hook->commit;
  if (step) step(hook->world, frame);
}

// Only the hooks present at the start run: a hook added meanwhile ran its define when it was added.
void private_frame_hooks_run_all(frame_hooks_array* list, display_frame* frame, bool define) {
  int32_t n = array_length(*list);
  for (int32_t i = 0; i < n; ++i) private_frame_hooks_run(list, i, frame, define);
}

}  // namespace

int32_t frame_hooks_add(frame_hooks_array* list, frame_hooks_make_world_fn make_world,
                        frame_hooks_delete_world_fn delete_world, frame_hooks_step_fn define,
                        frame_hooks_step_fn commit) {
  int32_t index = array_length(*list);
  if (index < 0) return -1;
  frame_hooks* hook = array_allocate(*list, index);
  if (!hook) return -1;
  *hook = {1, make_world, delete_world, define, commit, nullptr};
  return index;
}

void frame_hooks_remove(frame_hooks_array* list, int32_t index) {
  int32_t n = array_length(*list);
  frame_hooks* hook = index >= 0 ? array_get(*list, index) : nullptr;
  if (!hook) return;
  if (hook->active) private_frame_hooks_delete_world(hook);
  hook->active = 0;
  if (index == n - 1) array_truncate(*list, n - 1);
}

void frame_hooks_run_define(frame_hooks_array* list, int32_t index, display_frame* frame) {
  private_frame_hooks_run(list, index, frame, true);
}

void frame_hooks_define_all(frame_hooks_array* list, display_frame* frame) {
  private_frame_hooks_run_all(list, frame, true);
}

void frame_hooks_commit_all(frame_hooks_array* list, display_frame* frame) {
  private_frame_hooks_run_all(list, frame, false);
}

void frame_hooks_delete_all(frame_hooks_array* list) {
  int32_t n = array_length(*list);
  for (int32_t i = 0; i < n; ++i) {
    frame_hooks* hook = array_get(*list, i);
    if (hook && hook->active) private_frame_hooks_delete_world(hook);
  }
  array_reset(*list);
}
