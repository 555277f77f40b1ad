# MIDI input: the packet decoder, the layer over JACK and the ALSA sequencer, the instrument's mapping
# and MIDI files, with their tests, fuzz target and latency benchmark.
pkg_check_modules(KV_MIDI_DEPS REQUIRED IMPORTED_TARGET jack alsa)
pkg_check_modules(KV_SMF REQUIRED IMPORTED_TARGET smf)

kv_library(kv_midi_protocol SOURCES toolset/protocols/midi-parser.cpp LIBS kv_toolset)

kv_library(kv_midi SOURCES
  library/devices/midi.cpp library/arch/linux/midi-jack.cpp library/arch/linux/midi-alsa.cpp
  LIBS kv_midi_protocol PkgConfig::KV_MIDI_DEPS Threads::Threads)

kv_library(kv_midi_map SOURCES apps/kelvarin/midi_map.cpp apps/kelvarin/main_midi.cpp
  LIBS kv_midi kv_record)

kv_library(kv_midi_file SOURCES apps/kelvarin/midi_file.cpp apps/kelvarin/midi_file_check.cpp LIBS kv_midi_protocol PkgConfig::KV_SMF)

kv_test(midi_unit_test LABEL unit
  SOURCES tests/midi/decoder_test.cpp tests/midi/mapping_test.cpp tests/midi/alsa_test.cpp
          tests/midi/midi_file_test.cpp
  LIBS kv_midi_map kv_midi_file kv_test_support)

