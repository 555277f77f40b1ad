// MIDI without a device: the packet decoder, the controller map and its printed lines (MIDI files are
// played offline by the renderer's test and read from any bytes in the fuzzer).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"

namespace {

midi_packet packet_of(std::vector<unsigned char> bytes) {
  midi_packet p;
  midi_packet_make(&p, 0, bytes.data(), int32_t(bytes.size()));
  return p;
}

// Runs midifn on the bytes and returns what it printed.
std::string play(std::vector<unsigned char> bytes) {
  midi_packet p = packet_of(std::move(bytes));
  testing::internal::CaptureStdout();
  midifn(nullptr, &p);
  return testing::internal::GetCapturedStdout();
}

// Each event as "channel kind number value" (kinds: 2 control change, 4 note on, 6 note off).
std::string decoded(const midi_packet& p) {
  std::string s;
  for (int32_t i = 0; i <= midi_event_count(&p); ++i) {
    midi_event e;
    s += (midi_event_get(&p, &e, i), std::to_string(e.channel) + " " + std::to_string(e.kind) + " " + std::to_string(e.number) + " " + std::to_string(e.value) + ";");
  }
  return s;
}

}  // namespace

TEST(MidiDecoder, WhichBytesBecomeWhichEventsAndWhereDecodingStops) {
  const std::pair<std::vector<unsigned char>, const char*> cases[] = {
      {{0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00}, "0 4 60 64;0 6 60 0;0 0 0 0;"},
      {{0x91, 0x3C, 0x00, 0xB3, 0x07, 0x64}, "1 6 60 0;3 2 7 100;0 0 0 0;"},  // velocity 0 is a note off
      {{0x9F, 0x7F, 0x7F}, "15 4 127 127;0 0 0 0;"},
      {{0x90, 0x3C, 0x40, 0x3E, 0x40}, "0 4 60 64;0 0 0 0;"},                    // running status stops
      {{0x90, 0x3C, 0x40, 0xC0, 0x05, 0x90, 0x3E, 0x40}, "0 4 60 64;0 0 0 0;"},  // so does a program change
      {{0xB0, 0x07, 0x10, 0x90, 0x3C}, "0 2 7 16;0 0 0 0;"},
  };
  for (const auto& [bytes, events] : cases) EXPECT_EQ(decoded(packet_of(bytes)), events) << events;
}

TEST(MidiMapping, ControllersNotesAndPrintedLines) {
  oscs_make();
  synth().oscs[3].started = 1;
  EXPECT_EQ(play({0xB5, 7, 100, 0xB1, 10, 0, 0xB2, 10, 64, 0xB6, 10, 127, 0xB4, 48, 13, 0xB0, 48, 127, 0xB4, 49, 127, 0xB2, 57, 127,
                  0xB3, 66, 8, 0xB7, 84, 23, 0x93, 62, 90}),
            "received cc 7 100 on channel 5\nreceived cc 10 0 on channel 1\nreceived cc 10 64 on channel 2\nreceived cc 10 127 on channel 6\n"
            "received cc 48 13 on channel 4\nreceived cc 48 127 on channel 0\nreceived cc 49 127 on channel 4\n"
            "received cc 57 127 on channel 2\nmodmatrix 2 0 = 1 127\nreceived cc 66 8 on channel 3\nmodmatrix 3 2 = 2 8\n"
            "received cc 84 23 on channel 7\nmodmatrix 7 7 = 0 23\nreceived note on: 62 90 on channel 3\n");
  const synth_state& s = synth();
  const std::pair<float, float> fields[] = {
      {s.voices[5].volume, 100.0f / 127.0f}, {s.voices[1].pan, -1.0f}, {s.voices[2].pan, 0.0f}, {s.voices[6].pan, 1.0f},
      {float(s.oscs[4].kind), 1.0f}, {float(s.oscs[0].kind), 7.0f}, {s.oscs[4].divisor, 32.75f}, {s.cells[2][0].amount, 1.0f},
      {s.cells[3][2].divisor, 3.0f}, {float(s.cells[7][7].type), 3.0f}, {s.oscs[3].note, 62.0f}, {float(s.oscs[3].started), 0.0f}};
  for (size_t k = 0; k < std::size(fields); ++k) EXPECT_EQ(fields[k].first, fields[k].second) << k;
  EXPECT_EQ(midi_in_activity(), 1);
  EXPECT_EQ(midi_in_activity(), 0);
}
