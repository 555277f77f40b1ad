# Grid controller link: the monome record over OSC (liblo) and serialosc, its test with real OSC peers
# and the ThreadSanitizer test of the press exchange between the OSC thread and the panel thread.
pkg_check_modules(LIBLO REQUIRED IMPORTED_TARGET liblo)

kv_library(kv_grid SOURCES apps/kelvarin/monome.cpp apps/kelvarin/serialosc.cpp LIBS PkgConfig::LIBLO kv_toolset kv_core)

# The OSC server owns UDP port 7770 for the whole process, so every test that talks to it lives in
# one executable.
kv_test(grid_osc_test LABEL system SOURCES tests/grid/grid_osc_test.cpp LIBS kv_grid TIMEOUT 120)

kv_test(grid_tsan_test LABEL tsan SOURCES tests/grid/grid_tsan_test.cpp LIBS kv_grid TIMEOUT 240)
set_tests_properties(grid_tsan_test PROPERTIES RUN_SERIAL ON)

