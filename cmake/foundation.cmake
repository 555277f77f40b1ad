# Foundation: typed arrays, parser, random numbers, DSP primitives, the synthesizer record, clock and log.
kv_library(kv_toolset SOURCES
  toolset/array.cpp toolset/algos/parser.cpp toolset/algos/mt-prng.cpp)

kv_library(kv_core SOURCES
  library/config.cpp library/arch/posix/time.cpp library/arch/opengl/frame-stats.cpp
  library/devices/audio-frame.cpp
  LIBS kv_toolset)

kv_library(kv_record SOURCES
  apps/experiments/fmosc.cpp apps/kelvarin/euclid_pulse.cpp apps/kelvarin/synth.cpp
  apps/kelvarin/visuals_model.cpp
  LIBS kv_toolset)

kv_test(foundation_test LABEL unit
  SOURCES tests/foundation/foundation_test.cpp
  LIBS kv_record kv_core)

kv_bench(primitives_bench SOURCES bench/primitives_bench.cpp LIBS kv_record kv_core)

# Fixtures that start real servers (JACK dummy, Xvfb) and child processes for system tests.
kv_library(kv_test_support SOURCES tests/support/servers.cpp)
