// Packets built from byte lists for the MIDI tests.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "toolset/protocols/midi-parser.hpp"

inline midi_packet packet_of(std::initializer_list<int> bytes) {
  std::vector<unsigned char> b;
  for (int x : bytes) b.push_back(static_cast<unsigned char>(x));
  midi_packet p;
  midi_packet_make(&p, 0, b.data(), static_cast<int32_t>(b.size()));
  return p;
}
