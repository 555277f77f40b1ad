# Interface library: ui context and identifiers, widgets and layouts, geometry buffers, the widget gallery.
find_package(OpenGL REQUIRED)
find_package(GLUT REQUIRED)

kv_library(kv_uilib SOURCES
  library/arch/opengl/ui-glut.cpp
  LIBS kv_core OpenGL::GL GLUT::GLUT)

kv_test(ui_unit_test LABEL unit
  SOURCES tests/ui/fake_viewport.cpp tests/ui/hid_test.cpp tests/ui/protocol_test.cpp
  LIBS kv_uilib)
