# Instrument panel: the editing page, the slot section, the grid's slot row, playlist recording and replay.
kv_library(kv_panel SOURCES
  apps/kelvarin/ui.cpp apps/kelvarin/ui_page.cpp apps/kelvarin/slots_section.cpp
  LIBS kv_uilib kv_grid kv_presets kv_engine kv_visuals kv_display kv_record kv_core kv_recorder kv_audio)

# Every unit test of the interface, graphics, display, visuals, grid and panel in one program, without a
# display (the viewport query is a fake 800 x 600). Counting every allocation replaces the C allocator,
# which a sanitizer's own allocator forbids, so the steady-frame test is left out of sanitizer builds.
set(KV_INTERFACE_UNIT_SOURCES tests/ui/fake_viewport.cpp tests/ui/ui_unit_test.cpp
  tests/graphics/graphics_unit_test.cpp tests/display/display_unit_test.cpp tests/visuals/modulation_test.cpp
  tests/grid/grid_test.cpp tests/panel/grid_playlist_test.cpp)
if(NOT KV_SANITIZE)
  list(APPEND KV_INTERFACE_UNIT_SOURCES tests/ui/steady_frame_test.cpp)
endif()
kv_test(interface_unit_test LABEL unit SOURCES ${KV_INTERFACE_UNIT_SOURCES} LIBS kv_panel)

# The editor build played as a performer would, on JACK and the test window's Xvfb: xdotool on the panel
# against the same page drawn in this process (its viewport letterboxed as the instrument's).
kv_test(editor_test LABEL system TIMEOUT 600
  SOURCES tests/visuals/glut_window.cpp tests/panel/panel_window.cpp tests/panel/editor_test.cpp
  LIBS kv_panel kv_observe kv_test_support PkgConfig::KV_STB)
add_dependencies(editor_test kelvarin-editor kelvarin-preset kelvarin_resources)
target_link_options(editor_test PRIVATE
  -Wl,--wrap=glRasterPos2f -Wl,--wrap=glutBitmapCharacter -Wl,--wrap=glViewport)
