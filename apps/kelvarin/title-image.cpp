// Draws the title image at build time: the name over eight voice waves on a dusk gradient, as a JPEG.
#include <stb/stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int width = 1280;
constexpr int height = 720;

struct rgb {
  float r, g, b;
};

rgb mix(rgb a, rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// Five columns by seven rows, most significant bit on the left.
struct glyph {
  char letter;
  uint8_t rows[7];
};
constexpr glyph font[] = {
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'E', {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x1f}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1f}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0a, 0x04}},
    {'A', {0x0e, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11}}, {'R', {0x1e, 0x11, 0x11, 0x1e, 0x14, 0x12, 0x11}},
    {'I', {0x0e, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0e}}, {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
};

bool glyph_pixel(char letter, int column, int row) {
  for (const glyph& g : font)
    if (g.letter == letter) return (g.rows[row] >> (4 - column)) & 1;
  return false;
}

// The name in blocks of `cell` pixels, centred at (cx, cy); letters one column apart.
bool in_name(int x, int y, const char* name, int cx, int cy, int cell) {
  int letters = 0;
  while (name[letters]) ++letters;
  int left = cx - (letters * 6 - 1) * cell / 2, top = cy - 7 * cell / 2;
  int column = (x - left) / cell, row = (y - top) / cell;
  if (x < left || y < top || row >= 7 || column >= letters * 6) return false;
  int letter = column / 6, inside = column % 6;
  return inside < 5 && glyph_pixel(name[letter], inside, row);
}

// Eight waves, one per voice, each a thin glowing line of its own hue and pitch.
float wave_glow(int x, int y, int voice) {
  float phase = float(x) / width * 6.2831853f * float(voice + 1) * 0.5f;
  float centre = height * 0.72f + 14.0f * float(voice) + 22.0f * std::sin(phase + float(voice));
  float d = std::fabs(float(y) - centre);
  return std::exp(-d * d / 6.0f);
}

rgb voice_colour(int voice) {
  float h = float(voice) / 8.0f * 6.2831853f;
  return {0.55f + 0.45f * std::cos(h), 0.55f + 0.45f * std::cos(h - 2.094f), 0.55f + 0.45f * std::cos(h + 2.094f)};
}

rgb pixel(int x, int y) {
  rgb c = mix({0.05f, 0.03f, 0.16f}, {0.02f, 0.30f, 0.34f}, float(y) / (height - 1));
  for (int v = 0; v < 8; ++v) c = mix(c, voice_colour(v), 0.85f * wave_glow(x, y, v));
  if (in_name(x, y, "KELVARIN", width / 2, height * 2 / 5, 22)) c = {0.98f, 0.90f, 0.72f};
  return c;
}

uint8_t byte_of(float v) { return uint8_t(std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255.0f)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s out.jpg\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> pixels(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb c = pixel(x, y);
      uint8_t* p = &pixels[(size_t(y) * width + x) * 3];
      p[0] = byte_of(c.r);
      p[1] = byte_of(c.g);
      p[2] = byte_of(c.b);
    }
  }
  if (!stbi_write_jpg(argv[1], width, height, 3, pixels.data(), 92)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
