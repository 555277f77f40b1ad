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

kv_test(display_unit_test LABEL unit
  SOURCES tests/display/geometry_test.cpp tests/display/hooks_test.cpp
  LIBS kv_display)
