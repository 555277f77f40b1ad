// MIDI packets and their decoding into note-on, note-off and control-change event records.
#pragma once
#include <cstddef>
#include <cstdint>

// A packet as the MIDI layer delivers it: time stamp, byte count, then the MIDI bytes. Only the
// count and the bytes are read by consumers; the time stamp is in nanoseconds on the delivering
// backend's clock. Laid out as the platform's packets (10 header bytes, then the data).
constexpr int32_t MIDI_PACKET_BYTES = 256;

#pragma pack(push, 4)
struct midi_packet {
  uint64_t time_stamp;
  uint16_t length;
  unsigned char data[MIDI_PACKET_BYTES];
};
#pragma pack(pop)
static_assert(offsetof(midi_packet, time_stamp) == 0);
static_assert(offsetof(midi_packet, length) == 8);
static_assert(offsetof(midi_packet, data) == 10);

// Fills a packet from raw bytes; bytes past MIDI_PACKET_BYTES are dropped. Returns the length kept.
int32_t midi_packet_make(midi_packet* packet, uint64_t time_stamp, const void* bytes, int32_t count);

// An event is a tag, a reserved word and three (key, value) pairs. The key at position 4 tells the
// kind: MIDI_KIND_CC, MIDI_KIND_NOTE_ON, MIDI_KIND_NOTE_OFF, or MIDI_KIND_NONE for the null event.
constexpr int32_t MIDI_EVENT_TAG = int32_t(0xa5f4ed7eu);
constexpr int32_t MIDI_KEY_CHANNEL = 1;
constexpr int32_t MIDI_KEY_CC_VALUE = 3;
constexpr int32_t MIDI_KEY_VELOCITY = 5;
constexpr int32_t MIDI_KIND_NONE = 0;
constexpr int32_t MIDI_KIND_CC = 2;
constexpr int32_t MIDI_KIND_NOTE_ON = 4;
constexpr int32_t MIDI_KIND_NOTE_OFF = 6;

struct midi_event {
  int32_t tag;
  int32_t reserved;
  int32_t channel_key;
  int32_t channel;  // 0..15, the low nibble of the status byte
  int32_t kind;
  int32_t number;  // controller or note
  int32_t value_key;
  int32_t value;  // controller value or velocity; 0 for note off
};
static_assert(sizeof(midi_event) == 32);
static_assert(offsetof(midi_event, channel) == 12);
static_assert(offsetof(midi_event, kind) == 16);
static_assert(offsetof(midi_event, value) == 28);

void event_make_null(midi_event* event);
void event_make_cc(midi_event* event, int32_t channel, int32_t controller, int32_t value);
void event_make_noteon(midi_event* event, int32_t channel, int32_t note, int32_t velocity);
void event_make_noteoff(midi_event* event, int32_t channel, int32_t note);

// Events decode one after another from the first byte until one fails: running status, any other
// message and a message cut short stop the packet. Neither call allocates.
int32_t midi_event_count(const midi_packet* packet);
// Decodes and discards `index` events, then decodes the next into `event`; the null event if none.
void midi_event_get(const midi_packet* packet, midi_event* event, int32_t index);
