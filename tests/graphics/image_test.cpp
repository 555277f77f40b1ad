// Images: owned and borrowed records, the blit's rectangle and its refusals, decoding files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "library/visuals/image.hpp"
#include "toolset/visuals/image.hpp"

namespace {
std::vector<uint32_t> numbered(int32_t n, uint32_t base) {
  std::vector<uint32_t> v(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) v[size_t(i)] = base + uint32_t(i);
  return v;
}

std::string temp_file(const std::string& tag, const std::string& bytes) {
  std::string path = "/tmp/kv-image-" + std::to_string(getpid()) + "-" + tag;
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return path;
}
}  // namespace

TEST(Image, DeleteFreesOnlyOwnedPixels) {
  image a;
  image_make_argb_i8888_unallocated(&a, 3, 2);
  EXPECT_EQ(a.stride, 3);
  a.pixels = static_cast<uint8_t*>(malloc(24));
  image_delete(&a);  // freed: the sanitizer build reports a leak otherwise
  EXPECT_EQ(a.pixels, nullptr);
  uint32_t pixels[6] = {};
  image b;
  image_make_borrow(&b, pixels, 3, 2);
  image_delete(&b);  // freeing the stack array would abort the sanitizer build
  EXPECT_EQ(b.width, 0);
}

TEST(ImageBlit, CopiesTheCommonCornerOfStridedImages) {
  struct {
    int32_t sw, sh, dw, dh, dstride;
    std::vector<uint32_t> expected;  // source pixels are numbered from 1
  } cases[] = {
      {5, 4, 3, 2, 3, {1, 2, 3, 6, 7, 8}},                          // larger source: cut to the destination
      {2, 2, 3, 3, 4, {1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 0, 0}},         // smaller: its corner, padding kept
      {4, 3, 4, 3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},      // same extent: everything
  };
  for (auto& c : cases) {
    auto src = numbered(c.sw * c.sh, 1);
    std::vector<uint32_t> dst(c.expected.size(), 0);
    image s, d;
    image_make_borrow(&s, src.data(), c.sw, c.sh);
    image_make_borrow(&d, dst.data(), c.dw, c.dh);
    d.stride = c.dstride;
    image_blit_to(&s, &d);
    EXPECT_EQ(dst, c.expected) << c.sw << "x" << c.sh;
  }
}

TEST(ImageBlit, RefusesOtherFormatsOtherDepthsAndItself) {
  auto src = numbered(4, 1);
  std::vector<uint32_t> dst(4, 0);
  image s, d;
  image_make_borrow(&s, src.data(), 2, 2);
  image_make_borrow(&d, dst.data(), 2, 2);
  s.format = 1;
  image_blit_to(&s, &d);
  EXPECT_EQ(dst, std::vector<uint32_t>(4, 0));
  s.format = 0;
  s.bytes_per_pixel = 2;
  image_blit_to(&s, &d);
  EXPECT_EQ(dst, std::vector<uint32_t>(4, 0));
  s.bytes_per_pixel = 4;
  image_blit_to(&s, &s);
  EXPECT_EQ(src, numbered(4, 1));
  image n;
  image_make_null(&n);
  image_blit_to(&n, &d);  // a null image has another depth: nothing happens, nothing crashes
  EXPECT_EQ(dst, std::vector<uint32_t>(4, 0));
}

TEST(ImageFile, DecodesToRedGreenBlueAlphaBytes) {
  // A 2 x 1 binary PPM: one red and one blue pixel.
  std::string ppm = std::string("P6\n2 1\n255\n") + std::string("\xff\x00\x00\x00\x00\xff", 6);
  std::string path = temp_file("ok.ppm", ppm);
  image img;
  ASSERT_TRUE(image_make_from_file(&img, path.c_str()));
  EXPECT_EQ(img.width, 2);
  EXPECT_EQ(img.height, 1);
  EXPECT_EQ(img.stride, 2);
  EXPECT_EQ(img.owns_pixels, 1);
  const uint8_t expected[8] = {255, 0, 0, 255, 0, 0, 255, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(img.pixels[i], expected[i]) << i;
  image_delete(&img);
  unlink(path.c_str());
}

TEST(ImageFile, UnreadableFilesGiveANullImage) {
  std::string path = temp_file("bad.png", std::string("\x89PNG\r\n\x1a\n garbage", 17));
  image img;
  image_make_argb_i8888_unallocated(&img, 9, 9);
  EXPECT_FALSE(image_make_from_file(&img, path.c_str()));
  EXPECT_EQ(img.pixels, nullptr);
  EXPECT_EQ(img.width, 0);
  EXPECT_EQ(img.height, 0);
  EXPECT_FALSE(image_make_from_file(&img, "/nonexistent/title.jpg"));
  EXPECT_EQ(img.pixels, nullptr);
  unlink(path.c_str());
}
