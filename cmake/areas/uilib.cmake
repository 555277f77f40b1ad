# Interface library: ui context and identifiers, widgets and layouts, geometry buffers, the widget gallery.
kv_library(kv_uilib SOURCES
  library/arch/opengl/ui-glut.cpp library/arch/opengl/geometry.cpp library/visuals/geometry.cpp
  apps/experiments/widgets.cpp apps/experiments/layout.cpp
  LIBS kv_display kv_graphics kv_core)

kv_test(ui_unit_test LABEL unit
  SOURCES tests/ui/fake_viewport.cpp tests/ui/hid_test.cpp tests/ui/protocol_test.cpp
          tests/ui/widget_logic_test.cpp
  LIBS kv_uilib)

kv_test(ui_geometry_test LABEL unit
  SOURCES tests/ui/geometry_test.cpp
  LIBS kv_uilib)

# Counting every allocation replaces the C allocator, which a sanitizer's own allocator forbids.
if(NOT KV_SANITIZE)
  kv_test(ui_steady_frame_test LABEL unit
    SOURCES tests/ui/fake_viewport.cpp tests/ui/steady_frame_test.cpp
    LIBS kv_uilib)
endif()

# The widget gallery: the library's living documentation, drawn into build/gallery.png by the system test.
add_executable(kv_gallery apps/experiments/gallery.cpp)
target_link_libraries(kv_gallery PRIVATE kv_uilib PkgConfig::KV_STB)

kv_test(ui_system_test LABEL system
  SOURCES tests/ui/ui_system_test.cpp
  LIBS kv_uilib kv_test_support PkgConfig::KV_STB
  TIMEOUT 120)
add_dependencies(ui_system_test kv_gallery)

kv_bench(uilib_bench SOURCES bench/uilib_bench.cpp LIBS kv_uilib kv_test_support)
