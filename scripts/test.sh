#!/usr/bin/env bash
# Builds and runs every test: the main build (warnings as errors), the AddressSanitizer and
# UndefinedBehaviorSanitizer build of the unit tests, ThreadSanitizer tests, and clang's fuzzers and
# real-time sanitizer. Each tree builds only the targets it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:external_symbolizer_path=/usr/lib/llvm-19/bin/llvm-symbolizer

step() { printf '\n==== %s\n' "$*"; }

step "main build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
(cd build && ctest --output-on-failure -L 'unit|system')

step "address and undefined-behaviour sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=address >/dev/null
cmake --build build-asan --target kv_tests_unit
(cd build-asan && ctest --output-on-failure -L unit)

step "thread sanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=thread -DKV_WERROR=OFF \
  -DCMAKE_CXX_COMPILER=clang++-19 -DCMAKE_C_COMPILER=clang-19 >/dev/null
cmake --build build-tsan --target kv_tests_tsan
(cd build-tsan && ctest --output-on-failure -L tsan --no-tests=ignore)

step "fuzzers"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_FUZZ=ON -DKV_WERROR=OFF \
  -DCMAKE_CXX_COMPILER=clang++-19 -DCMAKE_C_COMPILER=clang-19 >/dev/null
cmake --build build-fuzz --target kv_tests_fuzz
(cd build-fuzz && ctest --output-on-failure -L fuzz --no-tests=ignore)

step "real-time sanitizer"
cmake -S . -B build-rtsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_RTSAN=ON -DKV_WERROR=OFF \
  -DCMAKE_CXX_COMPILER=clang++-19 -DCMAKE_C_COMPILER=clang-19 >/dev/null
cmake --build build-rtsan --target kv_tests_rtsan
(cd build-rtsan && ctest --output-on-failure -L rtsan --no-tests=ignore)
