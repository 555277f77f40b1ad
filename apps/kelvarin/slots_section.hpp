// The panel's slot section: the "saving?" switch, eight slot buttons, the fixed preset and the last message.
#pragma once
#include <cstdint>

struct kelvarin_ui;

// The button of one slot, "[n]" for the current slot and "n" for the others. Pressed, it saves into the
// slot when "saving?" was pressed before (the switch goes off), loads the slot otherwise, and makes it
// the current slot; returns the message, or none when not pressed.
const char* save_slot(struct kelvarin_ui* panel, int32_t slot);
// The section, a stack at the anchor with its content from x = 0.1: the switch, two rows of four slot
// buttons, the preset row and "MSG: " with the last message.
void save_slots(struct kelvarin_ui* panel);
// The button "p<number>". Number 0 sets the layer matrix cells of the fixed preset and says
// "loaded succesfully."; other numbers do nothing. None when not pressed.
const char* preset(struct kelvarin_ui* panel, int32_t number);
// The cells the fixed preset sets (rows 0..2; self fields and row 3 are kept).
void preset_zero_apply();
