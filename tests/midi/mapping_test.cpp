// The controller map and the printed lines of the instrument's MIDI callback.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "tests/midi/midi_packet_helpers.hpp"

namespace {

class MidiMapping : public ::testing::Test {
 protected:
  void SetUp() override { oscs_make(); }

  // Runs midifn on the bytes and returns what it printed.
  std::string play(std::initializer_list<int> bytes, int* handled = nullptr) {
    midi_packet p = packet_of(bytes);
    testing::internal::CaptureStdout();
    int n = midifn(nullptr, &p);
    std::string out = testing::internal::GetCapturedStdout();
    if (handled) *handled = n;
    return out;
  }
};

using field_of = float (*)(const synth_state&);

// One controller message on a fresh record: the line it prints and the field it must set.
TEST_F(MidiMapping, ControllersSetTheirFieldAndPrint) {
  const struct {
    int status, controller, value;
    field_of field;
    float expected;
    const char* extra_line;
  } cases[] = {
      {0xB0, 7, 127, [](const synth_state& s) { return s.voices[0].volume; }, 1.0f, ""},
      {0xB0, 7, 0, [](const synth_state& s) { return s.voices[0].volume; }, 0.0f, ""},
      {0xB5, 7, 100, [](const synth_state& s) { return s.voices[5].volume; }, float(100.0 / 127.0), ""},
      {0xB1, 10, 0, [](const synth_state& s) { return s.voices[1].pan; }, -1.0f, ""},
      {0xB1, 10, 64, [](const synth_state& s) { return s.voices[1].pan; }, 0.0f, ""},
      {0xB1, 10, 127, [](const synth_state& s) { return s.voices[1].pan; }, 1.0f, ""},
      {0xB1, 10, 32, [](const synth_state& s) { return s.voices[1].pan; }, -0.5f, ""},
      {0xB4, 48, 13, [](const synth_state& s) { return float(s.oscs[4].kind); }, 1.0f, ""},
      {0xB4, 48, 127, [](const synth_state& s) { return float(s.oscs[4].kind); }, 7.0f, ""},
      {0xB4, 49, 0, [](const synth_state& s) { return s.oscs[4].divisor; }, 1.0f, ""},
      {0xB4, 49, 127, [](const synth_state& s) { return s.oscs[4].divisor; }, 32.75f, ""},
      {0xB2, 57, 127, [](const synth_state& s) { return s.cells[2][0].amount; }, 1.0f, "modmatrix 2 0 = 1 127\n"},
      {0xB3, 66, 8, [](const synth_state& s) { return s.cells[3][2].divisor; }, 3.0f, "modmatrix 3 2 = 2 8\n"},
      {0xB7, 84, 23, [](const synth_state& s) { return float(s.cells[7][7].type); }, 3.0f, "modmatrix 7 7 = 0 23\n"},
  };
  for (const auto& c : cases) {
    oscs_make();
    std::string out = play({c.status, c.controller, c.value});
    EXPECT_EQ(out, "received cc " + std::to_string(c.controller) + " " + std::to_string(c.value) + " on channel " +
                       std::to_string(c.status & 15) + "\n" + c.extra_line);
    EXPECT_EQ(c.field(synth()), c.expected) << "cc " << c.controller << " = " << c.value;
  }
}

// Messages that only print: the fourth controller of a group, unknown controllers, channels past 7,
// note offs and velocity 0.
TEST_F(MidiMapping, MessagesThatOnlyPrintChangeNothing) {
  synth_state before = synth();
  EXPECT_EQ(play({0xB6, 59, 99}), "received cc 59 99 on channel 6\nmodmatrix 6 0 = 3 99\n");
  EXPECT_EQ(play({0xB0, 88, 5}), "received cc 88 5 on channel 0\n");
  EXPECT_EQ(play({0xB9, 7, 127}), "received cc 7 127 on channel 9\n");
  EXPECT_EQ(play({0xBF, 60, 1}), "received cc 60 1 on channel 15\n");
  EXPECT_EQ(play({0x99, 60, 100}), "received note on: 60 100 on channel 9\n");
  EXPECT_EQ(play({0x82, 60, 30}), "received note off: 60 on channel 2\n");
  EXPECT_EQ(play({0x92, 61, 0}), "received note off: 61 on channel 2\n");
  EXPECT_EQ(std::memcmp(&before, &synth(), sizeof before), 0);
}

TEST_F(MidiMapping, NoteOnSetsPitchAndRestartsTheOscillator) {
  synth().oscs[3].started = 1;
  EXPECT_EQ(play({0x93, 62, 90}), "received note on: 62 90 on channel 3\n");
  EXPECT_EQ(synth().oscs[3].note, 62.0f);
  EXPECT_EQ(synth().oscs[3].started, 0);
}

TEST_F(MidiMapping, EveryEventOfAPacketInOrderTheCountReturnedAndActivityLit) {
  midi_in_activity();
  play({0xE0, 0, 64});  // decodes to nothing
  EXPECT_EQ(midi_in_activity(), 0);
  int handled = 0;
  std::string out = play({0x90, 60, 64, 0xB0, 7, 127, 0x80, 60, 0, 0xE0, 0, 64, 0x90, 61, 64}, &handled);
  EXPECT_EQ(handled, 3);
  EXPECT_EQ(out,
            "received note on: 60 64 on channel 0\n"
            "received cc 7 127 on channel 0\n"
            "received note off: 60 on channel 0\n");
  EXPECT_EQ(midi_in_activity(), 1);
  EXPECT_EQ(midi_in_activity(), 0);
}

// Every controller and value on one voice: after each message every mapped field is in its range.
TEST_F(MidiMapping, EveryControllerValueStaysInRange) {
  const int ch = 5;
  const synth_state& s = synth();
  int out_of_range = 0;
  testing::internal::CaptureStdout();
  for (int cc = 0; cc < 128; ++cc) {
    for (int v = 0; v < 128; ++v) {
      midi_packet p = packet_of({0xB0 | ch, cc, v});
      midifn(nullptr, &p);
      bool ok = s.oscs[ch].kind >= 0 && s.oscs[ch].kind < 12 && s.oscs[ch].divisor >= 1.0f &&
                s.voices[ch].volume >= 0.0f && s.voices[ch].volume <= 1.0f && s.voices[ch].pan >= -1.0f &&
                s.voices[ch].pan <= 1.0f;
      for (const mod_cell& cell : s.cells[ch])
        ok = ok && cell.type >= 0 && cell.type < 10 && cell.divisor >= 1.0f && cell.amount >= -1.0f &&
             cell.amount <= 1.0f;
      out_of_range += ok ? 0 : 1;
    }
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(out_of_range, 0);
  EXPECT_EQ(s.oscs[ch].kind, 127 % 12);
  EXPECT_EQ(s.cells[ch][3].type, 127 % 10);
}

}  // namespace
