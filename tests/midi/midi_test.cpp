// MIDI without a device: the packet decoder, the controller map and its printed lines, ALSA events back
// to packets, and MIDI files (played offline by the renderer's test; the fallback without any MIDI system
// is part of the instrument's start-up test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "apps/kelvarin/midi_file.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "library/arch/linux/midi-alsa.hpp"
#include "tests/support/servers.hpp"

namespace {

midi_packet packet_of(std::vector<unsigned char> bytes) {
  midi_packet p;
  midi_packet_make(&p, 0, bytes.data(), int32_t(bytes.size()));
  return p;
}

// Runs midifn on the bytes and returns what it printed.
std::string play(std::vector<unsigned char> bytes, int* handled) {
  midi_packet p = packet_of(std::move(bytes));
  testing::internal::CaptureStdout();
  *handled = midifn(nullptr, &p);
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
      {{0xE0, 0x00, 0x40, 0x90, 0x3C, 0x40}, "0 0 0 0;"},
      {{0xF0, 0x7E, 0xF7, 0x90, 0x3C, 0x40}, "0 0 0 0;"},
      {{0x90, 0xF8, 0x3C, 0x40}, "0 0 0 0;"},
      {{0xB0, 0x07, 0x90, 0x3C, 0x40}, "0 0 0 0;"},
      {{0xB0, 0x07, 0x10, 0x90, 0x3C}, "0 2 7 16;0 0 0 0;"},
  };
  for (const auto& [bytes, events] : cases) EXPECT_EQ(decoded(packet_of(bytes)), events) << events;
  midi_packet p;
  for (int i = 0; i < MIDI_PACKET_BYTES; ++i) p.data[i] = (const unsigned char[]){0xB0, 1, 2}[i % 3];
  p.length = 0xFFFF;  // beyond the buffer: only the buffer is read
  EXPECT_EQ(midi_event_count(&p), MIDI_PACKET_BYTES / 3);
}

TEST(MidiMapping, ControllersNotesAndPrintedLines) {
  oscs_make();
  synth().oscs[3].started = 1;
  int handled = 0;
  EXPECT_EQ(play({0xB5, 7, 100, 0xB1, 10, 0, 0xB2, 10, 64, 0xB6, 10, 127, 0xB4, 48, 13, 0xB0, 48, 127, 0xB4, 49, 127, 0xB2, 57, 127,
                  0xB3, 66, 8, 0xB7, 84, 23, 0x93, 62, 90}, &handled),
            "received cc 7 100 on channel 5\nreceived cc 10 0 on channel 1\nreceived cc 10 64 on channel 2\nreceived cc 10 127 on channel 6\n"
            "received cc 48 13 on channel 4\nreceived cc 48 127 on channel 0\nreceived cc 49 127 on channel 4\n"
            "received cc 57 127 on channel 2\nmodmatrix 2 0 = 1 127\nreceived cc 66 8 on channel 3\nmodmatrix 3 2 = 2 8\n"
            "received cc 84 23 on channel 7\nmodmatrix 7 7 = 0 23\nreceived note on: 62 90 on channel 3\n");
  EXPECT_EQ(handled, 11);
  const synth_state& s = synth();
  const std::pair<float, float> fields[] = {
      {s.voices[5].volume, 100.0f / 127.0f}, {s.voices[1].pan, -1.0f}, {s.voices[2].pan, 0.0f}, {s.voices[6].pan, 1.0f},
      {float(s.oscs[4].kind), 1.0f}, {float(s.oscs[0].kind), 7.0f}, {s.oscs[4].divisor, 32.75f}, {s.cells[2][0].amount, 1.0f},
      {s.cells[3][2].divisor, 3.0f}, {float(s.cells[7][7].type), 3.0f}, {s.oscs[3].note, 62.0f}, {float(s.oscs[3].started), 0.0f}};
  for (size_t k = 0; k < std::size(fields); ++k) EXPECT_EQ(fields[k].first, fields[k].second) << k;
  synth_state before = s;  // only printing: a fourth controller, unknown ones, channels past 7, note offs
  EXPECT_EQ(play({0xB6, 59, 99, 0xB0, 88, 5, 0xB9, 7, 127, 0x99, 60, 100, 0x82, 60, 30, 0x92, 61, 0}, &handled),
            "received cc 59 99 on channel 6\nmodmatrix 6 0 = 3 99\nreceived cc 88 5 on channel 0\nreceived cc 7 127 on channel 9\n"
            "received note on: 60 100 on channel 9\nreceived note off: 60 on channel 2\nreceived note off: 61 on channel 2\n");
  EXPECT_EQ(handled, 6);
  EXPECT_EQ(std::memcmp(&before, &s, sizeof before), 0);
  EXPECT_EQ(midi_in_activity(), 1);
  EXPECT_EQ(midi_in_activity(), 0);
}

// Every message keeps its status byte: running status would leave the decoder nothing to decode.
TEST(MidiAlsa, EventsBecomeWholePackets) {
  snd_midi_event_t* coder = midi_alsa_coder_make();
  ASSERT_NE(coder, nullptr);
  snd_seq_event_t e[4] = {};
  snd_seq_ev_set_noteon(&e[0], 3, 60, 100), snd_seq_ev_set_noteon(&e[1], 3, 62, 100), snd_seq_ev_set_controller(&e[2], 9, 7, 100);
  e[3].type = SND_SEQ_EVENT_PORT_SUBSCRIBED;
  const std::vector<int> bytes[4] = {{0x93, 60, 100}, {0x93, 62, 100}, {0xB9, 7, 100}, {}};
  for (int k = 0; k < 4; ++k) {
    midi_packet p;
    EXPECT_EQ(std::vector<int>(p.data, p.data + std::max(midi_alsa_event_packet(coder, &e[k], 77, &p), 0)), bytes[k]) << k;
  }
  snd_midi_event_free(coder);
}

TEST(MidiFile, TempoMapAndQuirks) {
  const std::string dir = source_dir() + "/fuzz/corpus/midi/file";
  midi_file_event_array events{};
  char error[MIDI_FILE_ERROR_BYTES] = {};
  ASSERT_EQ(midi_file_read((dir + "/tempo.mid").c_str(), &events, error), 1) << error;
  std::string got;  // the program change and the bend are left out; 240 bpm from 1.0 s
  for (int i = 0; i < array_length(events); ++i) got += std::to_string(array_get(events, i)->seconds).substr(0, 4) + ":" + std::to_string(array_get(events, i)->bytes[0]) + " ";
  EXPECT_EQ(got, "0.00:144 0.50:128 1.00:177 1.25:145 1.50:145 ");
  const std::string header("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
  // Escaped system exclusive, a zero tempo and a missing End Of Track are read past; running status kept.
  const std::string quirks = header + "MTrk" + std::string("\0\0\0\x13\0\xF7\x02\xF3\x01\0\xFF\x51\x03\0\0\0\x60\x95\x40\x50\x60\x40\x00", 23);
  array_trunc(events);
  ASSERT_EQ(midi_file_read_memory(quirks.data(), int32_t(quirks.size()), &events, error), 1) << error;
  ASSERT_EQ(array_length(events), 2);
  EXPECT_EQ(std::tuple(array_get(events, 1)->seconds, array_get(events, 1)->bytes[0], array_get(events, 1)->bytes[2]), std::tuple(1.0, 0x95, 0));
  array_reset(events);
}
