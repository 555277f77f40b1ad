# Storage: virtual paths, byte streams, the chunk format, preset slots and the playlist file.
kv_library(kv_storage SOURCES
  apps/brightloom/env-all.cpp apps/brightloom/env-linux.cpp
  apps/brightloom/stream.cpp apps/brightloom/iff32.cpp
  LIBS kv_toolset)

kv_library(kv_presets SOURCES
  apps/kelvarin/presets.cpp apps/kelvarin/playlist.cpp
  LIBS kv_storage kv_record)

kv_test(storage_test LABEL unit SOURCES tests/storage/slots_test.cpp
  LIBS kv_presets kv_engine)
target_compile_definitions(storage_test PRIVATE KV_STORAGE_SEEDS="${CMAKE_SOURCE_DIR}/fuzz/corpus")

# A performer's slots and playlist live in bin/resources; nothing here installs over them. The fuzzer reads
# every input as each stored file, a path, a MIDI packet and a MIDI file, from seeds written from the
# stored layouts (independent of this code) and MIDI seeds.
kv_fuzz(inputs_fuzz SOURCES fuzz/inputs_fuzz.cpp LIBS kv_presets kv_midi_map kv_midi_file CORPUS ${CMAKE_SOURCE_DIR}/fuzz/corpus)
