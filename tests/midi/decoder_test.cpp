// The packet decoder: which byte sequences become which events, and where decoding stops.
#include <gtest/gtest.h>

#include "tests/midi/midi_packet_helpers.hpp"

namespace {

midi_event event_at(const midi_packet& p, int32_t index) {
  midi_event e;
  midi_event_get(&p, &e, index);
  return e;
}

void expect_null(const midi_event& e) {
  EXPECT_EQ(e.tag, MIDI_EVENT_TAG);
  EXPECT_EQ(e.reserved, 0);
  EXPECT_EQ(e.channel_key, 0);
  EXPECT_EQ(e.channel, 0);
  EXPECT_EQ(e.kind, MIDI_KIND_NONE);
  EXPECT_EQ(e.number, 0);
  EXPECT_EQ(e.value_key, 0);
  EXPECT_EQ(e.value, 0);
}

TEST(MidiDecoder, NoteOnThenNoteOff) {
  midi_packet p = packet_of({0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00});
  ASSERT_EQ(midi_event_count(&p), 2);
  midi_event on = event_at(p, 0);
  EXPECT_EQ(on.kind, MIDI_KIND_NOTE_ON);
  EXPECT_EQ(on.channel, 0);
  EXPECT_EQ(on.number, 60);
  EXPECT_EQ(on.value, 64);
  EXPECT_EQ(on.value_key, MIDI_KEY_VELOCITY);
  midi_event off = event_at(p, 1);
  EXPECT_EQ(off.kind, MIDI_KIND_NOTE_OFF);
  EXPECT_EQ(off.number, 60);
  EXPECT_EQ(off.value_key, 0);
  EXPECT_EQ(off.value, 0);
}

TEST(MidiDecoder, NoteOnWithVelocityZeroIsNoteOff) {
  midi_packet p = packet_of({0x91, 0x3C, 0x00});
  ASSERT_EQ(midi_event_count(&p), 1);
  midi_event e = event_at(p, 0);
  EXPECT_EQ(e.kind, 6);
  EXPECT_EQ(e.channel, 1);
  EXPECT_EQ(e.number, 60);
}

TEST(MidiDecoder, ControlChangeRecordLayout) {
  midi_packet p = packet_of({0xB3, 0x07, 0x64});
  ASSERT_EQ(midi_event_count(&p), 1);
  midi_event e = event_at(p, 0);
  const int32_t expected[8] = {MIDI_EVENT_TAG, 0, 1, 3, 2, 7, 3, 100};
  const int32_t* words = reinterpret_cast<const int32_t*>(&e);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(words[i], expected[i]) << "word " << i;
}

TEST(MidiDecoder, HighChannelsAreDecoded) {
  midi_packet p = packet_of({0x9F, 0x7F, 0x7F, 0xBF, 0x7F, 0x00});
  ASSERT_EQ(midi_event_count(&p), 2);
  EXPECT_EQ(event_at(p, 0).channel, 15);
  EXPECT_EQ(event_at(p, 1).channel, 15);
  EXPECT_EQ(event_at(p, 1).value, 0);
}

TEST(MidiDecoder, WhatStopsAPacket) {
  struct stop_case {
    const char* what;
    midi_packet packet;
    int32_t count;
  } cases[] = {
      {"truncated control change", packet_of({0xB0, 0x07}), 0},
      {"pitch bend before a note", packet_of({0xE0, 0x00, 0x40, 0x90, 0x3C, 0x40}), 0},
      {"running status", packet_of({0x90, 0x3C, 0x40, 0x3E, 0x40}), 1},
      {"program change after a note", packet_of({0x90, 0x3C, 0x40, 0xC0, 0x05, 0x90, 0x3E, 0x40}), 1},
      {"system exclusive", packet_of({0xF0, 0x7E, 0x7F, 0xF7, 0x90, 0x3C, 0x40}), 0},
      {"clock byte inside a note", packet_of({0x90, 0xF8, 0x3C, 0x40}), 0},
      {"status byte where data belongs", packet_of({0xB0, 0x07, 0x90, 0x3C, 0x40}), 0},
      {"note cut short at the end", packet_of({0xB0, 0x07, 0x10, 0x90, 0x3C}), 1},
      {"empty packet", packet_of({}), 0},
  };
  for (const stop_case& c : cases) EXPECT_EQ(midi_event_count(&c.packet), c.count) << c.what;
}

TEST(MidiDecoder, IndexAtOrPastTheCountGivesTheNullEvent) {
  midi_packet p = packet_of({0x90, 0x3C, 0x40, 0x3E, 0x40});
  expect_null(event_at(p, 1));
  expect_null(event_at(p, 7));
  expect_null(event_at(p, -1));
  midi_packet empty = packet_of({});
  expect_null(event_at(empty, 0));
}

TEST(MidiDecoder, ALengthBeyondTheBufferReadsOnlyTheBuffer) {
  midi_packet p;
  const unsigned char pattern[3] = {0xB0, 1, 2};
  for (int i = 0; i < MIDI_PACKET_BYTES; ++i) p.data[i] = pattern[i % 3];
  p.length = 0xFFFF;  // 85 whole messages, then a lone status byte at the buffer's end
  EXPECT_EQ(midi_event_count(&p), MIDI_PACKET_BYTES / 3);
}

TEST(MidiDecoder, PacketMakeKeepsAtMostABuffer) {
  unsigned char big[MIDI_PACKET_BYTES + 40] = {};
  midi_packet p;
  EXPECT_EQ(midi_packet_make(&p, 5, big, sizeof big), MIDI_PACKET_BYTES);
  EXPECT_EQ(p.length, MIDI_PACKET_BYTES);
  EXPECT_EQ(p.time_stamp, 5u);
}

}  // namespace
