// Virtual path resolution through the backtracking parser, one transaction per known prefix.
#include "apps/brightloom/env-all.hpp"

#include <cstring>

namespace {

// The replacement is the resource directory followed by `tail`, or `tail` alone when `absolute`.
int private_parse_prefix(parser* p, byte_array* out, const char* prefix, const char* tail, bool absolute) {
  parser_begin(p);
  if (!parse_the_string(p, prefix)) {
    parser_rollback(p);
    array_trunc(*out);
    return 0;
  }
  if (!absolute) array_cats(&out->raw, get_resource_path());
  array_cats(&out->raw, tail);
  parse_rest_of_path(p, out);
  parser_commit(p);
  return 1;
}

}  // namespace

int parse_a_string(parser* p, char* buffer, int32_t n) {
  if (n < 0 || parser_remaining(p) < n) return 0;
  parser_begin(p);
  for (int32_t i = 0; i < n; ++i) {
    unsigned char c = 0;
    if (!parse_a_char(p, &c)) {
      parser_rollback(p);
      return 0;
    }
    buffer[i] = char(c);
  }
  buffer[n] = 0;
  parser_commit(p);
  return 1;
}

int parse_the_string(parser* p, const char* text) {
  parser_begin(p);
  for (const char* t = text; *t; ++t) {
    unsigned char c = 0;
    if (!parse_a_char(p, &c) || c != static_cast<unsigned char>(*t)) {
      parser_rollback(p);
      return 0;
    }
  }
  parser_commit(p);
  return 1;
}

int parse_rest_of_path(parser* p, byte_array* out) {
  parser_begin(p);
  unsigned char c = 0;
  while (parse_a_char(p, &c)) array_catb(&out->raw, &c, 1);
  array_catb(&out->raw, "", 1);
  parser_commit(p);
  return 1;
}

int parse_virtual_data(parser* p, byte_array* out) {
  return private_parse_prefix(p, out, "virtual://data/", "/data/", false);
}
int parse_virtual_root(parser* p, byte_array* out) {
  return private_parse_prefix(p, out, "virtual://root/", "/", false);
}
int parse_virtual_material(parser* p, byte_array* out) {
  return private_parse_prefix(p, out, "virtual://material/", "/mnt/storage/private-media/material/", true);
}
int parse_virtual_shaders(parser* p, byte_array* out) {
  return private_parse_prefix(p, out, "virtual://shaders/", "/shaders/", false);
}

byte_array vpath(const char* path) {
  byte_array input{}, result{};
  array_cats(&input.raw, path ? path : "");
  parser p;
  parser_make(&p, input.raw.data, array_bytes(&input.raw));
  if (!parse_virtual_data(&p, &result) && !parse_virtual_root(&p, &result) &&
      !parse_virtual_material(&p, &result) && !parse_virtual_shaders(&p, &result))
    parse_rest_of_path(&p, &result);
  array_reset(input);
  return result;
}
