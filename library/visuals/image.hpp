// Images decoded from files (any format stb_image reads), as four-byte red, green, blue, alpha pixels.
#pragma once
#include "toolset/visuals/image.hpp"

// `path` is a real file path (resolve virtual paths first). On success the image owns the decoded pixels
// (stride = width) and 1 is returned; on failure the image is null (no pixels, extent 0 x 0) and 0 returned.
int image_make_from_file(image* img, const char* path);
