// Virtual paths ("virtual://root/title.jpg") resolved against the application's resource directory.
#pragma once
#include <cstdint>
#include <string>

#include "toolset/algos/parser.hpp"
#include "toolset/array.hpp"

// The prefixes, tried in this order (case-sensitive, final "/" included):
//   "virtual://data/"     -> resource directory + "/data/"
//   "virtual://root/"     -> resource directory + "/"
//   "virtual://material/" -> "/mnt/storage/private-media/material/"
//   "virtual://shaders/"  -> resource directory + "/shaders/"
// Any other path (a null one as "") comes back unchanged; nothing is normalised or checked.
// The result holds exactly one terminating NUL; the caller owns it and resets it.
byte_array vpath(const char* path);

// The resource directory ("resources" beside the running executable unless KELVARIN_RESOURCES names
// another one); borrowed, NUL-terminated, never null. Where the folder beside the executable exists but
// this user cannot write to it (an installed program), the user's data folder is used instead.
const char* get_resource_path();
// The user's data folder: $XDG_DATA_HOME/kelvarin (an absolute XDG_DATA_HOME only), else
// ~/.local/share/kelvarin; empty when there is no home folder.
std::string user_data_folder();
// `beside` when it is missing or writable; otherwise the user's data folder, made and seeded with copies
// of the shipped files it lacks, with one line saying so (or `beside`, read-only, when that fails).
std::string choose_resource_folder(const std::string& beside);

// Transactions over the parser: on failure the cursor is back where it was.
int parse_a_string(parser* p, char* buffer, int32_t n);  // exactly n bytes, then a NUL (buffer: n + 1)
int parse_the_string(parser* p, const char* text);       // the bytes of `text`, compared exactly
int parse_rest_of_path(parser* p, byte_array* out);      // appends every remaining byte, then a NUL
// Each matches one prefix and appends its replacement and the rest of the path; on failure `out` is emptied.
int parse_virtual_data(parser* p, byte_array* out);
int parse_virtual_root(parser* p, byte_array* out);
int parse_virtual_material(parser* p, byte_array* out);
int parse_virtual_shaders(parser* p, byte_array* out);
