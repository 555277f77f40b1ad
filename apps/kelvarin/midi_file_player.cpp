// Block-timed delivery of a MIDI file's events to the instrument's MIDI callback.
#include "apps/kelvarin/midi_file_player.hpp"

#include <cmath>
#include <cstdio>

#include "apps/kelvarin/midi_map.hpp"

namespace {

constexpr double BLOCKS_PER_SECOND = double(SAMPLE_RATE) / 256.0;

int64_t block_of(double seconds) { return MIDI_FILE_FIRST_BLOCK + int64_t(std::floor(seconds * BLOCKS_PER_SECOND)); }

}  // namespace

int midi_file_player_load(midi_file_player* player, const char* path) {
  *player = midi_file_player{};
  char error[MIDI_FILE_ERROR_BYTES];
  if (midi_file_read(path, &player->events, error)) return 1;
  std::fprintf(stderr, "kelvarin-render: %s: %s\n", path, error);
  array_reset(player->events);
  return 0;
}

void midi_file_player_before_block(midi_file_player* player, int64_t block) {
  for (; player->next < array_length(player->events); ++player->next) {
    const midi_file_event* e = array_get(player->events, player->next);
    if (block_of(e->seconds) > block) return;
    midi_packet packet;
    midi_file_packet(e, &packet);
    midifn(nullptr, &packet);
  }
}

int64_t midi_file_player_blocks(const midi_file_player* player) {
  int32_t n = array_length(player->events);
  double last = n > 0 ? array_get(player->events, n - 1)->seconds : 0.0;
  return MIDI_FILE_FIRST_BLOCK + int64_t(std::ceil((last + MIDI_FILE_TAIL_SECONDS) * BLOCKS_PER_SECOND));
}

void midi_file_player_delete(midi_file_player* player) { array_reset(player->events); }
