# Visual effects: framebuffer objects and the audio-driven video feedback engine, its tests and benchmark.
kv_library(kv_visuals SOURCES
  library/arch/opengl/framebuffer.cpp apps/kelvarin/visuals.cpp
  LIBS kv_uilib kv_display kv_graphics kv_engine kv_record kv_core)

# One vfx_do at 1280 x 720 under Xvfb and Mesa, split by pass: bin/visuals_bench [frames].
add_executable(visuals_bench bench/visuals_bench.cpp tests/visuals/glut_window.cpp)
target_include_directories(visuals_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(visuals_bench PRIVATE kv_visuals kv_test_support)
