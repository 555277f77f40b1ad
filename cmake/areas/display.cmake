# Display: frames and hooks, the GLUT window layer, the program entry in its three builds, the title image.
kv_library(kv_display SOURCES
  library/arch/opengl/frame-hooks.cpp library/arch/opengl/frame.cpp library/arch/opengl/display-glut.cpp
  LIBS kv_graphics kv_core)

# The title image is drawn by our own program at build time and installed as resources/title.jpg.
add_executable(kv_title_image apps/kelvarin/title-image.cpp)
target_link_libraries(kv_title_image PRIVATE PkgConfig::KV_STB)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/title.jpg
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND kv_title_image ${CMAKE_BINARY_DIR}/generated/title.jpg
  DEPENDS kv_title_image)
kv_resource(SOURCE ${CMAKE_BINARY_DIR}/generated/title.jpg NAME title.jpg)

# The instrument in its three builds: title then timeline and visuals (the default), the panel alone
# (editor), and the panel under the title then the visuals (neither switch); the display callbacks draw
# the panel (kv_panel) and the visuals (kv_visuals).
set(KV_KELVARIN_BUILDS kelvarin kelvarin-editor kelvarin-plain)
function(kv_kelvarin_build name editor_p demo_p)
  add_executable(${name} apps/kelvarin/main.cpp apps/kelvarin/display.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE KELVARIN_EDITOR_P=${editor_p} KELVARIN_DEMO_P=${demo_p})
  target_link_libraries(${name} PRIVATE kv_panel kv_visuals kv_display kv_audio_main kv_midi_map kv_engine kv_storage
    kv_graphics)
  add_dependencies(${name} res_title_jpg)
endfunction()
kv_kelvarin_build(kelvarin 0 1)
kv_kelvarin_build(kelvarin-editor 1 0)
kv_kelvarin_build(kelvarin-plain 0 0)

