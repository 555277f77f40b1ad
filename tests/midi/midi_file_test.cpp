// Standard MIDI Files: times through the tempo map, the messages kept, and malformed files refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "apps/kelvarin/midi_file.hpp"
#include "apps/kelvarin/midi_file_player.hpp"
#include "apps/kelvarin/synth.hpp"
#include "tests/support/servers.hpp"

namespace {

class MidiFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = "/tmp/kv-midi-file-" + std::to_string(getpid());
    int status = -1;
    run_command("mkdir -p " + dir + " && /usr/bin/python3 " + source_dir() + "/tests/midi/make_midi.py " + dir,
                &status);
    ASSERT_EQ(status, 0);
  }
  static void TearDownTestSuite() { run_command("rm -rf " + dir); }
  void TearDown() override { array_reset(events); }

  int read(const std::string& name) { return midi_file_read((dir + "/" + name).c_str(), &events, error); }
  int read_bytes(const std::string& bytes) {
    return midi_file_read_memory(bytes.data(), int32_t(bytes.size()), &events, error);
  }
  const midi_file_event& at(int i) { return *array_get(events, i); }

  static std::string dir;
  midi_file_event_array events{};
  char error[MIDI_FILE_ERROR_BYTES] = {};
};
std::string MidiFile::dir;

TEST_F(MidiFile, TempoMapGivesSecondsAcrossTracks) {
  ASSERT_EQ(read("tempo.mid"), 1) << error;
  ASSERT_EQ(array_length(events), 5);  // the program change and the bend are left out
  const double seconds[5] = {0.0, 0.5, 1.0, 1.25, 1.5};
  const unsigned char status[5] = {0x90, 0x80, 0xB1, 0x91, 0x91};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(at(i).seconds, seconds[i], 1e-9) << i;
    EXPECT_EQ(at(i).bytes[0], status[i]) << i;
  }
  EXPECT_EQ(at(2).bytes[1], 7);
  EXPECT_EQ(at(2).bytes[2], 127);
  EXPECT_EQ(at(4).bytes[2], 0);
}

TEST_F(MidiFile, FormatZeroWithRunningStatusBecomesWholeMessages) {
  ASSERT_EQ(read("format0.mid"), 1) << error;
  ASSERT_EQ(array_length(events), 3);
  for (int i = 0; i < 3; ++i) {
    midi_packet p;
    midi_file_packet(&at(i), &p);
    midi_event e;
    ASSERT_EQ(midi_event_count(&p), 1);
    midi_event_get(&p, &e, 0);
    EXPECT_EQ(e.kind, MIDI_KIND_NOTE_ON);
    EXPECT_EQ(e.channel, 2);
    EXPECT_EQ(e.number, 50 + 2 * i);
    EXPECT_NEAR(double(p.time_stamp), (i + 1) * 0.5e9, 1e3);  // 96 ticks at 120 bpm
  }
}

TEST_F(MidiFile, RefusalsCarryAReason) {
  EXPECT_EQ(read("format2.mid"), 0);
  EXPECT_STREQ(error, "MIDI file format 2 is not supported (only 0 and 1)");
  EXPECT_EQ(read("no-such-file.mid"), 0);
  EXPECT_STREQ(error, "cannot open the file: No such file or directory");
  const std::string header("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14), cut_event =
      "track 0 has a malformed or cut-short event at byte 0";
  const struct {
    std::string bytes;
    std::string error;
  } cases[] = {
      {"", "not a Standard MIDI File (no MThd header)"},
      {header + std::string("MTrk\0\0\0\x03\0\x90\x3C", 11), cut_event},
      {header + std::string("MTrk\0\0\0\x07\0\x3C\x40\0\xFF\x2F\0", 15), cut_event},
      {header + std::string("MTrk\0\0\0\x09\0\xFF\x2F\0", 12), "a chunk at byte 14 runs past the end of the file"},
      {std::string("MThd\0\0\0\x06\0\0\x80\x00\0\x60", 14), "the file holds 0 of its 32768 tracks"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read_bytes(c.bytes), 0);
    EXPECT_EQ(std::string(error), c.error);
  }
  EXPECT_EQ(array_length(events), 0);
}

// Escaped system exclusive, a missing End Of Track and a zero tempo are read past, not refused.
TEST_F(MidiFile, QuirksOfWritersAreTolerated) {
  const std::string header("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
  const std::string track("\0\xF7\x02\xF3\x01"      // escape: song select
                          "\0\xFF\x51\x03\0\0\0"   // tempo 0: ignored
                          "\x60\x95\x40\x50"        // note at tick 96 = 0.5 s
                          "\x60\x40\x00",            // running status: its note off at 1.0 s
                          19);
  ASSERT_EQ(read_bytes(header + "MTrk" + std::string("\0\0\0\x13", 4) + track), 1) << error;
  ASSERT_EQ(array_length(events), 2);
  EXPECT_DOUBLE_EQ(at(0).seconds, 0.5);
  EXPECT_EQ(at(0).bytes[0], 0x95);
  EXPECT_DOUBLE_EQ(at(1).seconds, 1.0);
  EXPECT_EQ(at(1).bytes[0], 0x95);
  EXPECT_EQ(at(1).bytes[2], 0);
}

// Every cut of a valid file either reads or is refused with a message; none crashes.
TEST_F(MidiFile, TruncatedFilesAreRefusedOrRead) {
  FILE* f = fopen((dir + "/tempo.mid").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string whole(83, '\0');
  ASSERT_EQ(fread(whole.data(), 1, whole.size(), f), whole.size());
  fclose(f);
  int refused = 0;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    array_trunc(events);
    if (!read_bytes(whole.substr(0, cut))) {
      refused++;
      EXPECT_NE(error[0], 0) << cut;
    }
  }
  EXPECT_GT(refused, 0);
}


// Block timing of the offline player: MIDI time 0 is block 517, the first one rendered.
TEST_F(MidiFile, PlayerDeliversEachEventBeforeItsBlock) {
  oscs_make();
  midi_file_player player;
  ASSERT_EQ(midi_file_player_load(&player, (dir + "/tempo.mid").c_str()), 1);
  auto before = [&](int32_t block) {
    testing::internal::CaptureStdout();
    midi_file_player_before_block(&player, block);
    return testing::internal::GetCapturedStdout();
  };
  EXPECT_EQ(before(516), "");
  EXPECT_EQ(synth().oscs[0].note, 57.0f);
  EXPECT_EQ(before(517), "received note on: 60 100 on channel 0\n");
  EXPECT_EQ(synth().oscs[0].note, 60.0f);
  EXPECT_EQ(before(602), "");  // 0.5 s is in block 517 + 86
  EXPECT_EQ(before(603), "received note off: 60 on channel 0\n");
  EXPECT_EQ(before(100000),
            "received cc 7 127 on channel 1\n"
            "received note on: 64 90 on channel 1\n"
            "received note off: 64 on channel 1\n");
  EXPECT_EQ(synth().voices[1].volume, 1.0f);
  // Last event at 1.5 s, two seconds more: ceil(3.5 * 44100 / 256) = 603 blocks after block 517.
  EXPECT_EQ(midi_file_player_blocks(&player), 517 + 603);
  midi_file_player_delete(&player);
}

TEST_F(MidiFile, PlayerNamesTheFileItCannotRead) {
  midi_file_player player;
  testing::internal::CaptureStderr();
  EXPECT_EQ(midi_file_player_load(&player, (dir + "/format2.mid").c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kelvarin-render: " + dir + "/format2.mid: MIDI file format 2 is not supported (only 0 and 1)\n");
}

}  // namespace
