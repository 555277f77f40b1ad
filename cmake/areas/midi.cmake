# MIDI input: the packet decoder, the layer over JACK and the ALSA sequencer, the instrument's mapping
# and MIDI files, with their tests, fuzz target and latency benchmark.
pkg_check_modules(KV_MIDI_DEPS REQUIRED IMPORTED_TARGET jack alsa)

kv_library(kv_midi_protocol SOURCES toolset/protocols/midi-parser.cpp LIBS kv_toolset)

kv_library(kv_midi SOURCES
  library/devices/midi.cpp library/arch/linux/midi-jack.cpp library/arch/linux/midi-alsa.cpp
  LIBS kv_midi_protocol kv_jack_client PkgConfig::KV_MIDI_DEPS Threads::Threads)

kv_library(kv_midi_map SOURCES apps/kelvarin/midi_map.cpp apps/kelvarin/main_midi.cpp
  LIBS kv_midi kv_engine)

kv_library(kv_midi_file SOURCES apps/kelvarin/midi_file.cpp LIBS kv_midi_protocol)

kv_library(kv_midi_player SOURCES apps/kelvarin/midi_file_player.cpp LIBS kv_midi_file kv_midi_map)

kv_test(midi_unit_test LABEL unit SOURCES tests/midi/midi_test.cpp LIBS kv_midi_map)

kv_bench(midi_latency_bench SOURCES bench/midi_latency_bench.cpp LIBS kv_midi_map kv_test_support)

# kelvarin-render --midi FILE plays a MIDI file into the instrument (checked by the renderer's test).
if(TARGET kelvarin-render)
  target_link_libraries(kelvarin-render PRIVATE kv_midi_player)
endif()
