# Interface library: ui context and identifiers, widgets and layouts, geometry buffers, the widget gallery.
kv_library(kv_uilib SOURCES
  library/arch/opengl/ui-glut.cpp library/arch/opengl/geometry.cpp library/visuals/geometry.cpp
  apps/experiments/widgets.cpp apps/experiments/layout.cpp
  LIBS kv_display kv_graphics kv_core)

# The widget gallery: the library's living documentation (`kv_gallery --png FILE` draws it into a picture).
add_executable(kv_gallery apps/experiments/gallery.cpp)
target_link_libraries(kv_gallery PRIVATE kv_uilib PkgConfig::KV_STB)

# Widgets, textures, framebuffers, the visuals engine and the panel page, all in one GLUT window on one
# Xvfb, read back with glReadPixels (the panel's labels through the wrapped GL and GLUT text calls).
kv_test(ui_system_test LABEL system
  SOURCES tests/visuals/glut_window.cpp tests/ui/ui_system_test.cpp tests/graphics/graphics_system_test.cpp
          tests/visuals/visuals_system_test.cpp tests/panel/panel_window.cpp tests/panel/panel_window_test.cpp
  LIBS kv_panel kv_test_support PkgConfig::KV_STB
  TIMEOUT 300)
target_link_options(ui_system_test PRIVATE -Wl,--wrap=glRasterPos2f -Wl,--wrap=glutBitmapCharacter)

kv_bench(uilib_bench SOURCES bench/uilib_bench.cpp LIBS kv_uilib kv_test_support)
