# Graphics base: images, textures, materials, sprites, the GL error trace and raster frame textures.
pkg_check_modules(KV_GL REQUIRED IMPORTED_TARGET gl glu glew glut)
pkg_check_modules(KV_STB REQUIRED IMPORTED_TARGET stb)

kv_library(kv_image SOURCES toolset/visuals/image.cpp)

kv_library(kv_graphics SOURCES
  library/arch/opengl/debug.cpp library/arch/opengl/extensions.cpp
  library/arch/opengl/texture.cpp library/arch/opengl/material.cpp library/arch/opengl/sprite.cpp
  library/arch/opengl/framebuffer_texture.cpp library/visuals/image.cpp
  LIBS kv_image kv_core PkgConfig::KV_GL PkgConfig::KV_STB)

kv_bench(pixels_bench SOURCES bench/pixels_bench.cpp LIBS kv_graphics)
