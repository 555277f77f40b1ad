# Reliability: the soak (hours of audio offline under a random performance of MIDI, edits and shipped and
# damaged slot files), the per-block deadline figures, and the four-thread ThreadSanitizer run.
kv_library(kv_soak SOURCES tools/soak/soak_stream.cpp tools/soak/soak_run.cpp
  LIBS kv_midi_map kv_presets kv_audio kv_engine)

# The shipped slots it loads are built from presets/ by kelvarin-preset (targets of the shipping area).
add_executable(kelvarin-soak tools/soak/soak.cpp)
target_include_directories(kelvarin-soak PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kelvarin-soak PRIVATE kv_soak)
target_compile_definitions(kelvarin-soak PRIVATE KV_SOAK_SLOTS="${CMAKE_BINARY_DIR}/presets")
foreach(slot RANGE 7)
  add_dependencies(kelvarin-soak res_save_${slot}_dat)
endforeach()
