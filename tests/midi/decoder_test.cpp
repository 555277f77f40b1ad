// The packet decoder: which byte sequences become which events, and where decoding stops.
#include <gtest/gtest.h>

#include "tests/midi/midi_packet_helpers.hpp"

namespace {

// The eight words of an event: tag, reserved, channel key, channel, kind, number, value key, value;
// kinds are 2 (control change), 4 (note on), 6 (note off), keys 1 (channel), 3 (value), 5 (velocity).
std::vector<int32_t> words_at(const midi_packet& p, int32_t index) {
  midi_event e;
  midi_event_get(&p, &e, index);
  const auto* w = reinterpret_cast<const int32_t*>(&e);
  return std::vector<int32_t>(w, w + 8);
}
std::vector<int32_t> event(int32_t channel, int32_t kind, int32_t number, int32_t value) {
  return {MIDI_EVENT_TAG, 0, 1, channel, kind, number, kind == 6 ? 0 : kind == 4 ? 5 : 3, value};
}
const std::vector<int32_t> null_event{MIDI_EVENT_TAG, 0, 0, 0, MIDI_KIND_NONE, 0, 0, 0};

TEST(MidiDecoder, EventsAreDecodedWordForWord) {
  const struct {
    const char* what;
    midi_packet packet;
    std::vector<std::vector<int32_t>> events;
  } cases[] = {
      {"note on then off", packet_of({0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00}),
       {event(0, 4, 60, 64), event(0, 6, 60, 0)}},
      {"velocity 0 is note off", packet_of({0x91, 0x3C, 0x00}), {event(1, 6, 60, 0)}},
      {"control change", packet_of({0xB3, 0x07, 0x64}), {event(3, 2, 7, 100)}},
      {"channel 15", packet_of({0x9F, 0x7F, 0x7F, 0xBF, 0x7F, 0x00}),
       {event(15, 4, 127, 127), event(15, 2, 127, 0)}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(midi_event_count(&c.packet), int32_t(c.events.size())) << c.what;
    for (size_t i = 0; i < c.events.size(); ++i) EXPECT_EQ(words_at(c.packet, int32_t(i)), c.events[i]) << c.what;
  }
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
  // Any index at or past the count, or below zero, gives the null event.
  midi_packet p = packet_of({0x90, 0x3C, 0x40, 0x3E, 0x40}), empty = packet_of({});
  for (int32_t index : {1, 7, -1}) EXPECT_EQ(words_at(p, index), null_event) << index;
  EXPECT_EQ(words_at(empty, 0), null_event);
}

TEST(MidiDecoder, LengthsBeyondTheBufferReadOnlyTheBuffer) {
  midi_packet p;
  const unsigned char pattern[3] = {0xB0, 1, 2};
  for (int i = 0; i < MIDI_PACKET_BYTES; ++i) p.data[i] = pattern[i % 3];
  p.length = 0xFFFF;  // 85 whole messages, then a lone status byte at the buffer's end
  EXPECT_EQ(midi_event_count(&p), MIDI_PACKET_BYTES / 3);
  unsigned char big[MIDI_PACKET_BYTES + 40] = {};
  EXPECT_EQ(midi_packet_make(&p, 5, big, sizeof big), MIDI_PACKET_BYTES);
  EXPECT_EQ(p.length, MIDI_PACKET_BYTES);
  EXPECT_EQ(p.time_stamp, 5u);
}

}  // namespace
