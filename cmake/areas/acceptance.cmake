# Acceptance: the shipped programs started as a user starts them, on real servers (JACK dummy, Xvfb), and
# judged by what comes out: screens, recordings, files and printed lines.
kv_library(kv_observe SOURCES tests/acceptance/observe.cpp LIBS kv_test_support PkgConfig::KV_AUDIO_DEPS)

# Every program as a user runs it: the shipped demo heard and seen from the title to its end, the plain and
# editor builds' screens and the full-screen fallback, clean ends with and without a display, the renderer
# and the preset tool on every shipped slot, make run.
kv_test(acceptance_test LABEL system TIMEOUT 900
  SOURCES tests/acceptance/acceptance_test.cpp
  LIBS kv_observe kv_test_support)
add_dependencies(acceptance_test kelvarin kelvarin-editor kelvarin-plain kelvarin-render kelvarin-preset
  kelvarin_resources)

# One panel frame, built, drawn and finished, under X and Mesa: bin/panel_bench (own Xvfb without DISPLAY).
kv_bench(panel_bench SOURCES bench/panel_bench.cpp LIBS kv_panel kv_test_support)
