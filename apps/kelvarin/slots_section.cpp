// The panel's slot section: the "saving?" switch, eight slot buttons, the fixed preset and the last message.
#include "apps/kelvarin/slots_section.hpp"

#include "apps/experiments/widgets.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"

namespace {

constexpr float SECTION_X = 0.1f;  // the section's content starts here, right of the preview

// One cell of the fixed preset; a field given as `keep` stays as it is.
constexpr float keep = -1000.0f;
struct preset_cell {
  int32_t row, column, on;
  float scale, rotate_z, rotate_x;
};
constexpr preset_cell preset_zero[] = {
    {0, 0, 0, 1.011f, 0.25f, 0.011458334f}, {0, 1, 0, keep, keep, keep}, {0, 2, 1, 1.0f, 0.2525f, 0.0f},
    {0, 3, 0, keep, keep, keep},            {1, 0, 0, keep, keep, keep}, {1, 1, 0, -1.007f, 0.0f, 0.16675f},
    {1, 2, 1, 1.0f, 0.0f, 0.0f},            {1, 3, 0, keep, keep, keep}, {2, 0, 0, keep, keep, keep},
    {2, 1, 0, keep, keep, keep},            {2, 2, 1, keep, keep, keep}, {2, 3, 0, keep, keep, keep},
};

void private_set_unless_kept(float* field, float value) {
  if (value != keep) *field = value;
}

void private_slot_row(struct kelvarin_ui* panel, int32_t first) {
  ui* u = &panel->ui;
  ui_flow_make(&panel->slot_row, u, ui_id(u), &panel->slot_stack);
  for (int32_t slot = first; slot < first + 4; ++slot)
    if (const char* message = save_slot(panel, slot)) panel->message = message;
  ui_flow_destroy(&panel->slot_row, u);
}

}  // namespace

void preset_zero_apply() {
  for (const preset_cell& c : preset_zero) {
    vfx_cell& x = modmatrix[c.row][c.column];
    x.on = c.on;
    private_set_unless_kept(&x.scale, c.scale);
    private_set_unless_kept(&x.rotate_z, c.rotate_z);
    private_set_unless_kept(&x.rotate_x, c.rotate_x);
  }
}

const char* save_slot(struct kelvarin_ui* panel, int32_t slot) {
  ui* u = &panel->ui;
  int pressed = slot == current_slot ? ui_button(u, ui_id(u), nullptr, nullptr, "[%1d]", int(slot))
                                     : ui_button(u, ui_id(u), nullptr, nullptr, "%1d", int(slot));
  if (!pressed) return nullptr;
  const char* message;
  if (panel->saving) {
    panel->saving = 0;
    message = slot_save(slot);  // a new file replaces the old one whole, or the old one stays
  } else {
    message = slot_load(slot);
  }
  current_slot = slot;
  return message;
}

const char* preset(struct kelvarin_ui* panel, int32_t number) {
  ui* u = &panel->ui;
  if (!ui_button(u, ui_id(u), nullptr, nullptr, "p%1d", int(number)) || number != 0) return nullptr;
  preset_zero_apply();
  return PRESET_LOADED;
}

void save_slots(struct kelvarin_ui* panel) {
  ui* u = &panel->ui;
  ui_stack_make(&panel->slot_stack, u, ui_id(u), &panel->outer);
  xy at;
  ui_anchor(u, &at);
  at.x = SECTION_X;
  ui_set_anchor(u, &at);
  if (!panel->saving) {
    if (ui_button(u, ui_id(u), nullptr, nullptr, "saving?")) panel->saving = 1;
  } else {
    ui_label(u, nullptr, "saving:");
  }
  private_slot_row(panel, 0);
  private_slot_row(panel, 4);
  ui_flow_make(&panel->preset_row, u, ui_id(u), &panel->slot_stack);
  if (const char* message = preset(panel, 0)) panel->message = message;
  ui_flow_destroy(&panel->preset_row, u);
  if (panel->message) ui_label(u, nullptr, "MSG: %s", panel->message);
  ui_layout_destroy(&panel->slot_stack, u);
}
