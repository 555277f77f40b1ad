# Audio I/O: the device layer over PortAudio and libsndfile, its tests, and the offline renderer.
pkg_check_modules(KV_AUDIO_DEPS REQUIRED IMPORTED_TARGET portaudio-2.0 sndfile)

kv_library(kv_audio SOURCES library/devices/audio-portaudio.cpp
  LIBS kv_core PkgConfig::KV_AUDIO_DEPS)

# The offline renderer's command line, kept apart so that further inputs are one table entry each.
kv_library(kv_render_options SOURCES apps/kelvarin/render_options.cpp)

# The instrument's audio wiring (steps of the program entry), used by the instrument's main.
kv_library(kv_audio_main SOURCES apps/kelvarin/main_audio.cpp LIBS kv_audio kv_midi_map kv_engine)

# kelvarin-render: the instrument's own engine, loader and file device, offline.
add_executable(kelvarin-render apps/kelvarin/render.cpp)
target_include_directories(kelvarin-render PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kelvarin-render PRIVATE kv_audio kv_engine kv_presets kv_render_options)

# The file device and the renderer as a performer runs it, presets and MIDI files included.
kv_test(render_test LABEL unit SOURCES tests/audio/render_test.cpp LIBS kv_audio kv_presets kv_render_options kv_test_support)
add_dependencies(render_test kelvarin-render)
set_property(GLOBAL APPEND PROPERTY KV_TESTS_unit kelvarin-render)

# One JACK server for the real-time output and the instrument's start-up, run as a separate process and
# played MIDI over JACK.
kv_test(jack_test LABEL system TIMEOUT 120 SOURCES tests/audio/jack_test.cpp
  LIBS kv_audio_main kv_engine kv_test_support)
add_executable(main_audio_probe tests/audio/main_audio_probe.cpp)
target_include_directories(main_audio_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(main_audio_probe PRIVATE kv_audio_main kv_engine)
add_dependencies(jack_test main_audio_probe)

# x real time of the renderer on a busy preset: ninja render_bench kelvarin-render && bin/render_bench
kv_bench(render_bench SOURCES bench/render_bench.cpp LIBS kv_presets)
if(TARGET render_bench)
  add_dependencies(render_bench kelvarin-render)
endif()
