// Materials: switch blending, depth, filtering, wrap, colour and shader on around a draw, and back off.
#include "library/arch/opengl/material.hpp"

#include <GL/glew.h>

#include <cstdio>
#include <initializer_list>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/extensions.hpp"

namespace {
constexpr const char* source_name = "library/arch/opengl/material";

// glUseProgram comes through the extension loader; without it no shader can be in use.
bool use_program_available() { return opengl_extensions_init() && glUseProgram; }

void private_material_shader_lost(material* m) {
  m->flags &= ~uint32_t(MATERIAL_SHADER);
  puts("ERROR: Shader not loaded, deactivating");
}

void private_material_shader(material* m) {
  bool shader_p = m->flags & MATERIAL_SHADER;
  if (!use_program_available()) {
    if (shader_p) private_material_shader_lost(m);
    return;
  }
  if (shader_p) {
    glUseProgram(m->program);
    GLenum error = glGetError();
    if (error == GL_INVALID_VALUE) private_material_shader_lost(m);
    else opengl_print_error(source_name, 79, error);
    return;
  }
  glUseProgram(0);
  opengl_trace(source_name, 83);
}

void private_material_blending(material* m) {
  if (m->flags & MATERIAL_ADDITIVE) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  } else if (m->flags & MATERIAL_BLEND) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
    return;
  }
  // Blended surfaces must not hide what is drawn behind them later.
  m->flags |= MATERIAL_NO_DEPTH;
}

void private_material_sampling(const material* m) {
  GLfloat filter = (m->flags & MATERIAL_NEAREST) ? GL_NEAREST : GL_LINEAR;
  GLfloat wrap = (m->flags & MATERIAL_REPEAT) ? GL_REPEAT : GL_CLAMP_TO_EDGE;
  for (GLenum target : {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D}) {
    glTexParameterf(target, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameterf(target, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameterf(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameterf(target, GL_TEXTURE_WRAP_T, wrap);
    glTexParameterf(target, GL_TEXTURE_WRAP_R, wrap);
  }
}
}  // namespace

void material_make(material* m) { *m = material{0, {1.0f, 1.0f, 1.0f, 1.0f}, 0}; }

void material_commit_with(material* m, uint32_t flags, const float argb[4]) {
  m->flags = flags;
  if ((flags & MATERIAL_KEEP_COLOUR) || !argb) return;
  m->colour[0] = argb[1];
  m->colour[1] = argb[2];
  m->colour[2] = argb[3];
  m->colour[3] = argb[0];
}

void material_on(material* m) {
  private_material_shader(m);
  private_material_blending(m);
  if (m->flags & MATERIAL_NO_DEPTH) {
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
  } else {
    glEnable(GL_DEPTH_TEST);
  }
  private_material_sampling(m);
  if (!(m->flags & MATERIAL_KEEP_COLOUR)) glColor4fv(m->colour);
  if (m->flags & MATERIAL_NO_MULTISAMPLE) glDisable(GL_MULTISAMPLE);
  glDisable(GL_CULL_FACE);
}

void material_off(const material* m) {
  if ((m->flags & MATERIAL_SHADER) && use_program_available()) glUseProgram(0);
  if (m->flags & (MATERIAL_BLEND | MATERIAL_ADDITIVE)) glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  if (m->flags & MATERIAL_NO_MULTISAMPLE) glEnable(GL_MULTISAMPLE);
}

void material_delete(material* m) { m->flags = 0; }
