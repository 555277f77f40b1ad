# Reliability: the soak (hours of audio offline under a random performance of MIDI, edits and shipped and
# damaged slot files), the per-block deadline figures, and the ThreadSanitizer run of the threads that share
# the synthesizer records.
kv_library(kv_soak_stream SOURCES tools/soak/soak_stream.cpp LIBS kv_midi_map kv_presets kv_engine)
kv_library(kv_soak SOURCES tools/soak/soak_run.cpp LIBS kv_soak_stream kv_audio)

# The shipped slots it loads are built from presets/ by kelvarin-preset (targets of the shipping area).
set(kv_soak_slots ${CMAKE_BINARY_DIR}/presets)
function(kv_soak_needs_slots target)
  target_compile_definitions(${target} PRIVATE KV_SOAK_SLOTS="${kv_soak_slots}")
  foreach(slot RANGE 7)
    add_dependencies(${target} res_save_${slot}_dat)
  endforeach()
endfunction()

add_executable(kelvarin-soak tools/soak/soak.cpp)
target_include_directories(kelvarin-soak PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kelvarin-soak PRIVATE kv_soak)
kv_soak_needs_slots(kelvarin-soak)

# 40 s of audio under the random performance (every kind of damaged slot comes round within seconds); the
# sanitizer build renders at a fraction of the speed, so there it plays 10 s. Hours: kelvarin-soak --seconds.
if(KV_SANITIZE)
  set(kv_soak_seconds 10)
else()
  set(kv_soak_seconds 40)
endif()
kv_script_test(soak_test LABEL unit COMMAND $<TARGET_FILE:kelvarin-soak> --seconds ${kv_soak_seconds}
  DEPENDS kelvarin-soak TIMEOUT 600)

kv_test(threads_tsan_test LABEL tsan SOURCES tests/reliability/threads_tsan_test.cpp
  LIBS kv_soak_stream TIMEOUT 120)
kv_soak_needs_slots(threads_tsan_test)
set_tests_properties(threads_tsan_test PROPERTIES RUN_SERIAL ON)
