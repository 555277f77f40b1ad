# Acceptance: the shipped programs started as a user starts them, on real servers (JACK dummy, Xvfb), and
# judged by what comes out: screens, recordings, files and printed lines.
kv_library(kv_observe SOURCES tests/acceptance/observe.cpp LIBS kv_test_support PkgConfig::KV_AUDIO_DEPS)
# Preloaded into a running program: the labels of each frame go to a file, so a test reads what the real
# program shows and where (screen_labels in tests/acceptance/observe.hpp).
add_library(kv_label_tap MODULE tests/acceptance/label_tap.cpp)
target_link_libraries(kv_label_tap PRIVATE PkgConfig::KV_GL ${CMAKE_DL_LIBS})
target_compile_definitions(kv_observe PRIVATE KV_LABEL_TAP="$<TARGET_FILE:kv_label_tap>")
add_dependencies(kv_observe kv_label_tap)

# Every program as a user runs it: the shipped demo heard and seen from the title to its end, the plain
# build's screens and its end without a display, the editor's recordings against jack_rec, its health
# figures and full-screen fallback, make run, and the installed tree and package run as another user.
kv_test(acceptance_test LABEL system TIMEOUT 900
  SOURCES tests/acceptance/acceptance_test.cpp
  LIBS kv_observe kv_test_support)
add_dependencies(acceptance_test kelvarin kelvarin-editor kelvarin-plain kelvarin-render kelvarin-preset
  kelvarin_resources kelvarin_icon shipped_presets)

# One panel frame, built, drawn and finished, under X and Mesa: bin/panel_bench (own Xvfb without DISPLAY).
kv_bench(panel_bench SOURCES bench/panel_bench.cpp LIBS kv_panel kv_test_support)
