// What a screen of the visuals shows, coarsely: its brightness, whether anything is lit, a brightness
// histogram and a 4 x 4 layout, so that dark stretches can be found and two slots' screens compared.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

struct screen_measure {
  double mean = 0;      // brightness 0..255 (the largest channel of each pixel)
  double lit = 0;       // share of pixels brighter than 32
  double hist[8] = {};  // shares of pixels in eight brightness bands
  double layout[16] = {};  // mean brightness of a 4 x 4 grid of regions

  // A screen with fewer than 2 % of its pixels lit counts as black.
  bool dark() const { return lit < 0.02; }
  // `pixels` holds rows of `width` pixels of `channels` bytes (red, green, blue first).
  static screen_measure of(const uint8_t* pixels, int width, int height, int channels) {
    screen_measure m;
    double count[16] = {};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = pixels + (size_t(y) * size_t(width) + size_t(x)) * size_t(channels);
        int v = std::max({p[0], p[1], p[2]});
        int region = (y * 4 / height) * 4 + x * 4 / width;
        m.mean += v, m.lit += v > 32, m.hist[v / 32] += 1, m.layout[region] += v, count[region] += 1;
      }
    double n = double(width) * double(height);
    m.mean /= n, m.lit /= n;
    for (double& h : m.hist) h /= n;
    for (int r = 0; r < 16; ++r) m.layout[r] /= std::max(1.0, count[r]);
    return m;
  }
  // The average of several screens.
  void add(const screen_measure& o, double weight) {
    mean += o.mean * weight, lit += o.lit * weight;
    for (int i = 0; i < 8; ++i) hist[i] += o.hist[i] * weight;
    for (int i = 0; i < 16; ++i) layout[i] += o.layout[i] * weight;
  }
  double histogram_distance(const screen_measure& o) const {
    double d = 0;
    for (int i = 0; i < 8; ++i) d += std::fabs(hist[i] - o.hist[i]);
    return d;
  }
  double layout_distance(const screen_measure& o) const {
    double d = 0;
    for (int i = 0; i < 16; ++i) d += std::fabs(layout[i] - o.layout[i]);
    return d / 16;
  }
  // Two slots look different: brightness apart by 8 of 255, histograms by 0.2 (of 2) or layouts by 10.
  bool differs(const screen_measure& o) const {
    return std::fabs(mean - o.mean) > 8 || histogram_distance(o) > 0.2 || layout_distance(o) > 10;
  }
};

// The longest run of dark screens, from its first dark screen to the next lit one (or the last screen),
// in the units of `times`.
template <typename Screens, typename Times>
double longest_dark(const Screens& screens, const Times& times) {
  double longest = 0;
  size_t start = 0;
  bool in_dark = false;
  for (size_t i = 0; i <= screens.size(); ++i) {
    bool dark = i < screens.size() && screens[i].dark();
    if (dark && !in_dark) start = i, in_dark = true;
    if (!dark && in_dark) {
      longest = std::max(longest, times[std::min(i, screens.size() - 1)] - times[start]);
      in_dark = false;
    }
  }
  return longest;
}
