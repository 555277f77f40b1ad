# Instrument panel: the editing page, the slot section, the grid's slot row, playlist recording and replay.
kv_library(kv_panel SOURCES
  apps/kelvarin/ui.cpp apps/kelvarin/ui_page.cpp apps/kelvarin/slots_section.cpp
  LIBS kv_uilib kv_grid kv_presets kv_engine kv_visuals kv_display kv_record kv_core)

# The instrument's display callbacks draw the panel and replay the playlist.
foreach(build IN LISTS KV_KELVARIN_BUILDS)
  if(TARGET ${build})
    target_link_libraries(${build} PRIVATE kv_panel)
  endif()
endforeach()

kv_test(panel_unit_test LABEL unit
  SOURCES tests/panel/grid_playlist_test.cpp
  LIBS kv_panel)
