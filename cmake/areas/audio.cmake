# Audio I/O: the device layer over JACK, PortAudio and libsndfile, its tests, and the offline renderer.
pkg_check_modules(KV_AUDIO_DEPS REQUIRED IMPORTED_TARGET portaudio-2.0 sndfile)
pkg_check_modules(KV_JACK_DEPS REQUIRED IMPORTED_TARGET jack alsa)
find_library(KV_ZITA_RESAMPLER zita-resampler REQUIRED)

# The one JACK client shared by the MIDI input and the audio outputs, and the quiet probes.
kv_library(kv_jack_client SOURCES library/arch/linux/jack-client.cpp library/arch/linux/quiet-probes.cpp
  LIBS PkgConfig::KV_JACK_DEPS)

kv_library(kv_audio SOURCES library/devices/audio-portaudio.cpp library/devices/audio-xruns.cpp
  library/devices/audio-jack.cpp library/devices/audio-pump.cpp
  LIBS kv_core kv_jack_client PkgConfig::KV_AUDIO_DEPS ${KV_ZITA_RESAMPLER})

kv_test(audio_unit_test LABEL unit SOURCES tests/audio/pump_test.cpp LIBS kv_audio)

# The offline renderer's command line, kept apart so that further inputs are one table entry each.
kv_library(kv_render_options SOURCES apps/kelvarin/render_options.cpp)

# Recording the instrument's output to WAV files while it plays (ring on the audio side, writer thread).
kv_library(kv_recorder SOURCES apps/kelvarin/recorder.cpp LIBS kv_storage PkgConfig::KV_AUDIO_DEPS Threads::Threads)
kv_test(recorder_test LABEL unit SOURCES tests/audio/recorder_test.cpp LIBS kv_recorder)
# The same cases in the thread-sanitizer tree: the ring's hand-over between the blocks and the writer.
kv_test(recorder_tsan_test LABEL tsan SOURCES tests/audio/recorder_test.cpp LIBS kv_recorder)

# The instrument's audio wiring (steps of the program entry), used by the instrument's main.
kv_library(kv_audio_main SOURCES apps/kelvarin/main_audio.cpp LIBS kv_audio kv_midi_map kv_engine kv_recorder)

# kelvarin-render: the instrument's own engine, loader and file device, offline.
add_executable(kelvarin-render apps/kelvarin/render.cpp)
target_include_directories(kelvarin-render PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kelvarin-render PRIVATE kv_audio kv_engine kv_presets kv_render_options)

# The file device and the renderer as a performer runs it, presets and MIDI files included.
kv_test(render_test LABEL unit SOURCES tests/audio/render_test.cpp LIBS kv_audio kv_presets kv_test_support)
add_dependencies(render_test kelvarin-render)
set_property(GLOBAL APPEND PROPERTY KV_TESTS_unit kelvarin-render)

# x real time of the renderer on a busy preset: ninja render_bench kelvarin-render && bin/render_bench
kv_bench(render_bench SOURCES bench/render_bench.cpp LIBS kv_presets)
if(TARGET render_bench)
  add_dependencies(render_bench kelvarin-render)
endif()

# The JACK output and the instrument's start-up on real dummy servers (a busy session, servers it cannot use, a
# MIDI note, the server going away, no server), through the instrument's own wiring (jack_probe) and the
# editor under Xvfb.
add_executable(jack_probe tests/audio/jack_probe.cpp)
target_include_directories(jack_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(jack_probe PRIVATE kv_audio_main kv_midi_map kv_engine)
kv_script_test(jack_device_test LABEL system TIMEOUT 180
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/audio/jack_device_test.py
  DEPENDS jack_probe kelvarin-editor)

# MIDI-to-audio latency on JACK in frames: bench/jack-latency.sh runs it against jack_probe.
add_executable(jack_latency bench/jack_latency.cpp)
target_include_directories(jack_latency PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(jack_latency PRIVATE PkgConfig::KV_JACK_DEPS)
