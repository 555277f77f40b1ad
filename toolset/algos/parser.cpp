// Backtracking byte cursor over a borrowed buffer.
#include "toolset/algos/parser.hpp"

void parser_make(parser* p, const void* bytes, int32_t size) {
  *p = parser{};
  p->bytes = static_cast<const unsigned char*>(bytes);
  p->size = size < 0 ? 0 : size;
  p->depth = 1;
}

void parser_begin(parser* p) {
  if (p->depth >= PARSER_DEPTH) {
    p->overflowed = 1;
    return;
  }
  p->positions[p->depth] = p->positions[p->depth - 1];
  p->depth++;
}

void parser_commit(parser* p) {
  if (p->overflowed || p->depth <= 1) return;
  p->positions[p->depth - 2] = p->positions[p->depth - 1];
  p->depth--;
}

void parser_rollback(parser* p) {
  if (p->overflowed || p->depth <= 1) return;
  p->depth--;
}

int32_t parser_position(const parser* p) { return p->positions[p->depth - 1]; }

int32_t parser_remaining(const parser* p) { return p->size - parser_position(p); }

int parse_a_char(parser* p, unsigned char* out) {
  int32_t& at = p->positions[p->depth - 1];
  if (p->overflowed || at >= p->size) return 0;
  if (out) *out = p->bytes[at];
  at++;
  return 1;
}
