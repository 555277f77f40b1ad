// Fuzz target: any bytes as a MIDI file; read or refused with a message, never a crash.
#include <cstdint>

#include "apps/kelvarin/midi_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  midi_file_event_array events{};
  char error[MIDI_FILE_ERROR_BYTES];
  int ok = midi_file_read_memory(data, int32_t(size), &events, error);
  if (!ok && error[0] == 0) __builtin_trap();
  double previous = 0.0;
  for (int32_t i = 0; ok && i < array_length(events); ++i) {
    const midi_file_event* e = array_get(events, i);
    int kind = e->bytes[0] & 0xF0;
    if (e->seconds < previous || (kind != 0x80 && kind != 0x90 && kind != 0xB0)) __builtin_trap();
    previous = e->seconds;
  }
  array_reset(events);
  return 0;
}
