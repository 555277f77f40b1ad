# Synthesis engine: oscillator kinds, modulation matrix, voice chain, audio callback and the two sample sinks.
kv_library(kv_engine SOURCES
  apps/kelvarin/oscillators.cpp apps/kelvarin/modmatrix.cpp apps/kelvarin/voice_chain.cpp
  apps/kelvarin/audio_callback.cpp apps/kelvarin/visuals_analysis.cpp apps/kelvarin/panel_history.cpp
  LIBS kv_record kv_core)

kv_test(engine_test LABEL unit
  SOURCES tests/engine/engine_test.cpp
  LIBS kv_engine)

kv_bench(engine_bench SOURCES bench/engine_bench.cpp LIBS kv_engine)

# The callback, the recorder's ring and the JACK output's pump under RealtimeSanitizer: clang 19 lacks
# -fsanitize=realtime here, so the runtime is linked whole and the test marks the real-time sections itself.
if(KV_RTSAN)
  set(kv_rtsan_runtime /usr/lib/llvm-19/lib/clang/19/lib/linux/libclang_rt.rtsan-x86_64.a)
  kv_test(engine_rtsan_test LABEL rtsan SOURCES tests/engine/rtsan_test.cpp LIBS kv_recorder kv_audio kv_engine)
  target_link_options(engine_rtsan_test PRIVATE
    -Wl,--whole-archive ${kv_rtsan_runtime} -Wl,--no-whole-archive -ldl -lpthread)
endif()

# The eight voices' filters run side by side in vector lanes with the per-voice arithmetic; no fused
# multiply-adds, so lanes and single voices round alike whatever instruction set the build targets.
target_compile_options(kv_engine PRIVATE -ffp-contract=off)

# Hashes of all output and state over the start-up state, the busy patch and random patches: run before
# and after a change of how the engine works and compare (bench/engine_hash.cpp says how).
kv_bench(engine_hash SOURCES bench/engine_hash.cpp LIBS kv_engine)
