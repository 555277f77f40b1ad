// Decoding of MIDI packets into event records with the backtracking byte cursor.
#include "toolset/protocols/midi-parser.hpp"

#include <cstring>

#include "toolset/algos/parser.hpp"

int32_t midi_packet_make(midi_packet* packet, uint64_t time_stamp, const void* bytes, int32_t count) {
  if (count < 0) count = 0;
  if (count > MIDI_PACKET_BYTES) count = MIDI_PACKET_BYTES;
  packet->time_stamp = time_stamp;
  packet->length = uint16_t(count);
  if (count > 0) std::memcpy(packet->data, bytes, size_t(count));
  return count;
}

void event_make_null(midi_event* event) {
  *event = midi_event{};
  event->tag = MIDI_EVENT_TAG;
}

static void private_event_make(midi_event* event, int32_t channel, int32_t kind, int32_t number,
                               int32_t value_key, int32_t value) {
  event_make_null(event);
  event->channel_key = MIDI_KEY_CHANNEL;
  event->channel = channel;
  event->kind = kind;
  event->number = number;
  event->value_key = value_key;
  event->value = value;
}

void event_make_cc(midi_event* event, int32_t channel, int32_t controller, int32_t value) {
  private_event_make(event, channel, MIDI_KIND_CC, controller, MIDI_KEY_CC_VALUE, value);
}

void event_make_noteon(midi_event* event, int32_t channel, int32_t note, int32_t velocity) {
  private_event_make(event, channel, MIDI_KIND_NOTE_ON, note, MIDI_KEY_VELOCITY, velocity);
}

void event_make_noteoff(midi_event* event, int32_t channel, int32_t note) {
  private_event_make(event, channel, MIDI_KIND_NOTE_OFF, note, 0, 0);
}

namespace {

// A three-byte channel message as read from the cursor.
struct channel_message {
  int32_t channel;
  int32_t first;
  int32_t second;
};

// A data byte must be below 0x80: a status byte where data belongs means the message was cut short
// by the next one, and taking it as data would hand out negative note and controller numbers.
int parse_data_byte(parser* p, int32_t* out) {
  unsigned char byte;
  if (!parse_a_char(p, &byte) || byte >= 0x80) return 0;
  *out = int32_t(int8_t(byte));
  return 1;
}

// Status byte with the given high nibble, then two data bytes; one transaction.
int parse_channel_message(parser* p, unsigned char high_nibble, channel_message* m) {
  parser_begin(p);
  unsigned char status;
  int ok = parse_a_char(p, &status) && (status & 0xF0) == high_nibble && parse_data_byte(p, &m->first) &&
           parse_data_byte(p, &m->second);
  m->channel = status & 0x0F;
  if (ok) {
    parser_commit(p);
  } else {
    parser_rollback(p);
  }
  return ok;
}

int parse_cc(parser* p, midi_event* event) {
  channel_message m;
  if (!parse_channel_message(p, 0xB0, &m)) return 0;
  if (event) event_make_cc(event, m.channel, m.first, m.second);
  return 1;
}

int parse_noteon(parser* p, midi_event* event) {
  parser_begin(p);
  channel_message m;
  if (!parse_channel_message(p, 0x90, &m) || m.second == 0) {
    parser_rollback(p);
    return 0;
  }
  parser_commit(p);
  if (event) event_make_noteon(event, m.channel, m.first, m.second);
  return 1;
}

// 0x8n note velocity, or a note on with velocity 0.
int parse_noteoff(parser* p, midi_event* event) {
  parser_begin(p);
  channel_message m;
  bool ok = parse_channel_message(p, 0x80, &m) || (parse_channel_message(p, 0x90, &m) && m.second == 0);
  if (!ok) {
    parser_rollback(p);
    return 0;
  }
  parser_commit(p);
  if (event) event_make_noteoff(event, m.channel, m.first);
  return 1;
}

int parse_event(parser* p, midi_event* event) {
  return parse_cc(p, event) || parse_noteon(p, event) || parse_noteoff(p, event);
}

void private_parser_make(parser* p, const midi_packet* packet) {
  int32_t length = packet->length > MIDI_PACKET_BYTES ? MIDI_PACKET_BYTES : packet->length;
  parser_make(p, packet->data, length);
}

}  // namespace

int32_t midi_event_count(const midi_packet* packet) {
  parser p;
  private_parser_make(&p, packet);
  int32_t n = 0;
  while (parse_event(&p, nullptr)) n++;
  return n;
}

void midi_event_get(const midi_packet* packet, midi_event* event, int32_t index) {
  event_make_null(event);
  if (index < 0) return;
  parser p;
  private_parser_make(&p, packet);
  for (int32_t i = 0; i < index; ++i) {
    if (!parse_event(&p, nullptr)) return;
  }
  parse_event(&p, event);
}
