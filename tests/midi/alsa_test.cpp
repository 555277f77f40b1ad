// The ALSA sequencer backend without a device: events back to packets, and the layer's silent fallback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "library/arch/linux/midi-alsa.hpp"
#include "library/devices/midi.hpp"

namespace {

class AlsaPackets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(coder, nullptr); }
  void TearDown() override { snd_midi_event_free(coder); }

  std::vector<int> bytes_of(const snd_seq_event_t& event) {
    midi_packet p;
    int32_t n = midi_alsa_event_packet(coder, &event, 77, &p);
    if (n > 0) {
      EXPECT_EQ(p.time_stamp, 77u);
    }
    return std::vector<int>(p.data, p.data + (n > 0 ? n : 0));
  }

  snd_midi_event_t* coder = midi_alsa_coder_make();
};

snd_seq_event_t note_on(int channel, int note, int velocity) {
  snd_seq_event_t e;
  snd_seq_ev_clear(&e);
  snd_seq_ev_set_noteon(&e, channel, note, velocity);
  return e;
}

TEST_F(AlsaPackets, EveryMessageKeepsItsStatusByte) {
  EXPECT_EQ(bytes_of(note_on(3, 60, 100)), (std::vector<int>{0x93, 60, 100}));
  // Running status would drop this status byte, and the packet decoder would then see nothing.
  EXPECT_EQ(bytes_of(note_on(3, 62, 100)), (std::vector<int>{0x93, 62, 100}));
}

TEST_F(AlsaPackets, NotesAndControllersDecodeAsTheLayerExpects) {
  snd_seq_event_t cc;
  snd_seq_ev_clear(&cc);
  snd_seq_ev_set_controller(&cc, 9, 7, 100);
  EXPECT_EQ(bytes_of(cc), (std::vector<int>{0xB9, 7, 100}));

  snd_seq_event_t off;
  snd_seq_ev_clear(&off);
  snd_seq_ev_set_noteoff(&off, 0, 60, 0);
  EXPECT_EQ(bytes_of(off), (std::vector<int>{0x80, 60, 0}));

  midi_packet p;
  snd_seq_event_t silent = note_on(1, 60, 0);
  ASSERT_EQ(midi_alsa_event_packet(coder, &silent, 0, &p), 3);
  midi_event e;
  midi_event_get(&p, &e, 0);
  EXPECT_EQ(e.kind, MIDI_KIND_NOTE_OFF);
  EXPECT_EQ(e.channel, 1);
}

TEST_F(AlsaPackets, EventsWithoutAMessageGiveNoPacket) {
  snd_seq_event_t subscribed;
  snd_seq_ev_clear(&subscribed);
  subscribed.type = SND_SEQ_EVENT_PORT_SUBSCRIBED;
  EXPECT_TRUE(bytes_of(subscribed).empty());

  std::vector<unsigned char> sysex(MIDI_PACKET_BYTES + 10, 0x11);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  snd_seq_event_t long_sysex;
  snd_seq_ev_clear(&long_sysex);
  snd_seq_ev_set_sysex(&long_sysex, sysex.size(), sysex.data());
  EXPECT_TRUE(bytes_of(long_sysex).empty());
}

TEST_F(AlsaPackets, ABendIsDeliveredButDecodesToNothing) {
  snd_seq_event_t bend;
  snd_seq_ev_clear(&bend);
  snd_seq_ev_set_pitchbend(&bend, 2, 100);
  midi_packet p;
  ASSERT_EQ(midi_alsa_event_packet(coder, &bend, 0, &p), 3);
  EXPECT_EQ(p.data[0], 0xE2);
  EXPECT_EQ(midi_event_count(&p), 0);
}

int never_called(void*, const midi_packet*) { return 0; }

// Neither a JACK server (a name nobody runs) nor a sequencer device: no device, nothing printed.
TEST(MidiFallback, NoMidiSystemMeansNoDeviceAndNoMessage) {
  struct stat st;
  if (stat("/dev/snd/seq", &st) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  setenv("JACK_DEFAULT_SERVER", "kv-nobody-runs-this", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  midi_io* io = nullptr;
  midi_io_make(&io);
  ASSERT_NE(io, nullptr);
  midi_device* device = reinterpret_cast<midi_device*>(1);
  midi_io_define_device(io, &device);
  midi_device_set_name(device, "kelvarin");
  midi_device_in(device, never_called, nullptr);
  midi_io_commit(io);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(io->backend, MIDI_BACKEND_NONE);
  EXPECT_STREQ(midi_io_client_name(io), "");
  EXPECT_EQ(midi_alsa_open("vorn"), nullptr);
  midi_io_finish(&io);
  EXPECT_EQ(io, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
