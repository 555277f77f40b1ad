# Audio I/O: the device layer over PortAudio and libsndfile, its tests, and the offline renderer.
pkg_check_modules(KV_AUDIO_DEPS REQUIRED IMPORTED_TARGET portaudio-2.0 sndfile)

kv_library(kv_audio SOURCES library/devices/audio-portaudio.cpp
  LIBS kv_core PkgConfig::KV_AUDIO_DEPS)

kv_test(audio_unit_test LABEL unit
  SOURCES tests/audio/file_device_test.cpp
  LIBS kv_audio)


kv_test(audio_stream_test LABEL system TIMEOUT 240
  SOURCES tests/audio/stream_test.cpp
  LIBS kv_audio kv_test_support)

# The offline renderer's command line, kept apart so that further inputs are one table entry each.
kv_library(kv_render_options SOURCES apps/kelvarin/render_options.cpp)

kv_test(render_options_test LABEL unit
  SOURCES tests/audio/render_options_test.cpp
  LIBS kv_render_options)
