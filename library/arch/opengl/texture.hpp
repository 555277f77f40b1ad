// OpenGL textures filled through a client pixel buffer, stored at power-of-two sizes with a uv rectangle
// that marks the part holding content.
#pragma once
#include <cstdint>

enum : uint32_t { TEXTURE_NO_MIPMAPS = 1 };

struct texture {
  int32_t alive;           // 1 from texture_make until texture_delete / texture_fail
  int32_t defined;         // 1 once a storage of the right size exists
  uint32_t name;           // GL texture name
  uint32_t target;         // GL_TEXTURE_1D, GL_TEXTURE_2D or GL_TEXTURE_3D
  uint32_t flags;          // TEXTURE_NO_MIPMAPS
  float uv[4];             // u_min, u_max, v_min, v_max
  int32_t extent[3];       // content width, height, depth (each at least 1 after define)
  int32_t padded_extent[3];  // storage width, height, depth: powers of two
  uint8_t* pixels;         // client buffer, 4 bytes a texel, held between define and commit
  uint32_t pixel_format;   // GL_RGBA
  uint32_t pixel_type;     // GL_UNSIGNED_INT_8_8_8_8_REV: bytes red, green, blue, alpha in memory
};

// The sizes a definition takes, computed without GL.
struct texture_layout {
  int32_t dimensions;        // 1, 2 or 3: the target follows the given extent, not the kind
  int32_t extent[3];         // clamped to at least 1
  int32_t padded_extent[3];  // power-of-two rounding of the extent as given
  float uv[4];
};

// Kind 1, 2 or 3 reads that many ints of `extent`; returns 0 for any other kind.
int texture_layout_of(texture_layout* layout, int32_t kind, const int32_t* extent);

void texture_make(texture* t);
// Creates the storage and hands out a zeroed client buffer of 4 x width x height x depth bytes through
// `out_pixels` (null when the texture is not alive or not defined afterwards, e.g. a storage the GL refused).
void texture_define(texture* t, uint32_t flags, void** out_pixels, int32_t kind, const int32_t* extent);
// Uploads the client buffer (filling the padding from it) and frees it.
void texture_commit(texture* t);
void texture_on(const texture* t);
void texture_off(const texture* t);
// Scales 1 to 3 normalised coordinates in place into the content part of the storage.
void texture_uv(const texture* t, float* coordinates);
void texture_delete(texture* t);
void texture_fail(texture* t);
