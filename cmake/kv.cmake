# Build helpers shared by every area: warnings, sanitizers, libraries, tests, benchmarks, fuzzers, resources.
enable_testing()
find_package(PkgConfig REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(Threads REQUIRED)

add_compile_options(-Wall -Wextra)
if(KV_WERROR)
  add_compile_options(-Werror)
endif()

if(KV_SANITIZE STREQUAL "address")
  set(kv_san -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${kv_san})
  add_link_options(${kv_san})
elseif(KV_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(KV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# kv_library(NAME SOURCES files... LIBS targets...): a static library rooted at the source tree.
function(kv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
endfunction()

# kv_test(NAME LABEL unit|system|tsan SOURCES files... LIBS targets... [TIMEOUT s]): one GoogleTest
# executable registered as one CTest test. Unit tests need nothing; system tests start their own
# servers (JACK dummy, Xvfb, OSC peers) and stop them by process id.
function(kv_test name)
  cmake_parse_arguments(A "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_property(GLOBAL APPEND PROPERTY KV_TESTS_${A_LABEL} ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABEL}" TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "KV_SOURCE_DIR=${CMAKE_SOURCE_DIR};KV_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(A_LABEL STREQUAL "system")
    set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
  endif()
endfunction()

# kv_script_test(NAME LABEL label COMMAND ... [DEPENDS targets]): a test written as a script; DEPENDS
# names the targets it runs, so the label's build target builds them.
function(kv_script_test name)
  cmake_parse_arguments(A "" "LABEL;TIMEOUT" "COMMAND;DEPENDS" ${ARGN})
  add_test(NAME ${name} COMMAND ${A_COMMAND})
  if(A_DEPENDS)
    set_property(GLOBAL APPEND PROPERTY KV_TESTS_${A_LABEL} ${A_DEPENDS})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABEL}" TIMEOUT ${A_TIMEOUT} RUN_SERIAL ON
    ENVIRONMENT "KV_SOURCE_DIR=${CMAKE_SOURCE_DIR};KV_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# kv_bench(NAME SOURCES files... LIBS targets...): a Google Benchmark program, built but not run by tests.
function(kv_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT benchmark_FOUND OR KV_SANITIZE OR KV_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# kv_fuzz(NAME SOURCES files... LIBS targets... CORPUS dir): a libFuzzer target, only in the fuzz build;
# the test runs it for KV_FUZZ_SECONDS (20 by default) from its seed corpus and its subfolders.
set(KV_FUZZ_SECONDS 20 CACHE STRING "seconds each fuzz target runs in the test command")
function(kv_fuzz name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT KV_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY KV_TESTS_fuzz ${name})
  set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E env ${CMAKE_SOURCE_DIR}/scripts/run-fuzzer.sh
    $<TARGET_FILE:${name}> ${A_CORPUS} ${work} ${KV_FUZZ_SECONDS})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()

# kv_resource(SOURCE file NAME relative-name [KEEP]): copied into bin/resources when built. KEEP files
# (a performer's slots and playlist) are copied only when missing, so rebuilding never loses them.
function(kv_resource)
  cmake_parse_arguments(A "KEEP" "SOURCE;NAME;TARGET" "" ${ARGN})
  set(destination ${KV_RESOURCES}/${A_NAME})
  if(A_KEEP)
    set(mode keep)
  else()
    set(mode replace)
  endif()
  string(MAKE_C_IDENTIFIER "res_${A_NAME}" stamp)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/stamps/${stamp}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/copy-resource.sh ${mode} ${A_SOURCE} ${destination}
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/stamps/${stamp}
    DEPENDS ${A_SOURCE} ${A_TARGET})
  add_custom_target(${stamp} ALL DEPENDS ${CMAKE_BINARY_DIR}/stamps/${stamp})
  set_property(GLOBAL APPEND PROPERTY KV_RESOURCE_TARGETS ${stamp})
endfunction()
