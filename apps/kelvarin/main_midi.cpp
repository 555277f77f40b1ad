// Start-up and shut-down of the instrument's MIDI input.
#include "apps/kelvarin/main_midi.hpp"

#include "apps/kelvarin/midi_map.hpp"

midi_io* kelvarin_midi_define() {
  midi_io* io = nullptr;
  midi_io_make(&io);
  midi_device* device = nullptr;
  midi_io_define_device(io, &device);
  if (device) {
    midi_device_set_name(device, "kelvarin");
    midi_device_in(device, midifn, nullptr);
  }
  return io;
}

void kelvarin_midi_commit(midi_io* io) { midi_io_commit(io); }

void kelvarin_midi_finish(midi_io** io) { midi_io_finish(io); }
