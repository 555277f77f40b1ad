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

  // The packet's bytes, and its decoded event count in `events`.
  std::vector<int> bytes_of(const snd_seq_event_t& event, int32_t* events = nullptr) {
    midi_packet p;
    int32_t n = midi_alsa_event_packet(coder, &event, 77, &p);
    if (n > 0) {
      EXPECT_EQ(p.time_stamp, 77u);
    }
    if (events) *events = n > 0 ? midi_event_count(&p) : -1;
    return std::vector<int>(p.data, p.data + (n > 0 ? n : 0));
  }

  snd_midi_event_t* coder = midi_alsa_coder_make();
};

snd_seq_event_t made(void (*set)(snd_seq_event_t*)) {
  snd_seq_event_t e;
  snd_seq_ev_clear(&e);
  set(&e);
  return e;
}

// Every message keeps its status byte: running status would leave the decoder nothing to decode.
TEST_F(AlsaPackets, MessagesBecomeWholePackets) {
  const struct {
    snd_seq_event_t event;
    std::vector<int> bytes;
    int32_t events;
  } cases[] = {
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_noteon(e, 3, 60, 100); }), {0x93, 60, 100}, 1},
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_noteon(e, 3, 62, 100); }), {0x93, 62, 100}, 1},
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_controller(e, 9, 7, 100); }), {0xB9, 7, 100}, 1},
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_noteoff(e, 0, 60, 0); }), {0x80, 60, 0}, 1},
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_noteon(e, 1, 60, 0); }), {0x91, 60, 0}, 1},
      {made([](snd_seq_event_t* e) { snd_seq_ev_set_pitchbend(e, 2, 100); }), {0xE2, 0x64, 0x40}, 0},
      {made([](snd_seq_event_t* e) { e->type = SND_SEQ_EVENT_PORT_SUBSCRIBED; }), {}, -1},
  };
  for (const auto& c : cases) {
    int32_t events = 0;
    EXPECT_EQ(bytes_of(c.event, &events), c.bytes);
    EXPECT_EQ(events, c.events);
  }
  std::vector<unsigned char> sysex(MIDI_PACKET_BYTES + 10, 0x11);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  snd_seq_event_t long_sysex;
  snd_seq_ev_clear(&long_sysex);
  snd_seq_ev_set_sysex(&long_sysex, sysex.size(), sysex.data());
  EXPECT_TRUE(bytes_of(long_sysex).empty());
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
