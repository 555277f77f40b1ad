// Backtracking byte cursor: every parse step is a transaction that commits or rolls back to where it began.
#pragma once
#include <cstdint>

// The stack of saved positions has fixed room; parsers in this program nest a few levels deep, and a
// parser whose stack would overflow fails every further step instead of allocating (MIDI decoding
// runs on a thread that must not allocate).
constexpr int32_t PARSER_DEPTH = 32;

struct parser {
  const unsigned char* bytes = nullptr;
  int32_t size = 0;
  int32_t depth = 0;  // number of levels; the current position is positions[depth - 1]
  int32_t positions[PARSER_DEPTH] = {};
  int32_t overflowed = 0;
};

void parser_make(parser* p, const void* bytes, int32_t size);  // one level at position 0
void parser_begin(parser* p);
void parser_commit(parser* p);    // pops and hands the advanced position down
void parser_rollback(parser* p);  // pops and discards: back to the matching begin
int32_t parser_position(const parser* p);
int32_t parser_remaining(const parser* p);
int parse_a_char(parser* p, unsigned char* out);  // 0 at the end
