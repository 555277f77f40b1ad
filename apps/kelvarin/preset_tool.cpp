// kelvarin-preset: prints a slot file as readable text, builds a slot file or a playlist from a source.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "apps/brightloom/iff32.hpp"
#include "apps/brightloom/stream.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/preset_text.hpp"

namespace {

int usage() {
  std::fputs("usage: kelvarin-preset dump FILE\n"
             "       kelvarin-preset build SOURCE OUT\n"
             "       kelvarin-preset playlist SOURCE OUT\n", stderr);
  return 2;
}

// Takes the stored members of a slot list apart: the record and the two visuals chunks, also when the
// visuals chunks stand directly in the outer list. Returns how many of the three were found.
int read_members(byte_array* bytes, preset_image* p, int depth) {
  stream s;
  stream_make_on_array(&s, 2, bytes);
  int found = 0;
  chunk c;
  while (chunk_read(&c, &s)) {
    byte_array* data = chunk_data(&c);
    int32_t size = array_bytes(&data->raw);
    if (chunk_is(&c, chunk_tag("KVSY")) && size == int32_t(sizeof p->synth)) {
      std::memcpy(&p->synth, data->raw.data, sizeof p->synth);
      found++;
    } else if (chunk_is(&c, chunk_tag("VFX ")) && size == int32_t(sizeof p->layers)) {
      std::memcpy(p->layers, data->raw.data, sizeof p->layers);
      found++;
    } else if (chunk_is(&c, chunk_tag("VFX2")) && size == int32_t(sizeof p->entries)) {
      std::memcpy(p->entries, data->raw.data, sizeof p->entries);
      found++;
    } else if (chunk_is(&c, chunk_tag("LIST")) && depth < VFX_LIST_DEPTH) {
      list_chunk l;
      if (list_chunk_from_chunk(&l, &c)) found += read_members(list_chunk_data(&l), p, depth + 1);
      list_chunk_delete(&l);
    }
    chunk_delete(&c);
  }
  stream_delete(&s);
  return found;
}

int dump(const char* path) {
  stream s;
  stream_make_on_file(&s, 2, path);
  list_chunk outer;
  int read = !stream_hasfailed(&s) && list_chunk_read(&s, &outer);
  stream_delete(&s);
  preset_image p;
  preset_image_defaults(&p);
  int found = read ? read_members(list_chunk_data(&outer), &p, 0) : 0;
  if (read) list_chunk_delete(&outer);
  if (found != 3) {
    std::fprintf(stderr, "%s: not a complete slot file (%s)\n", path,
                 read ? "the record or the visuals are missing or damaged" : "no chunk could be read");
    return 1;
  }
  std::fputs(preset_dump(p).c_str(), stdout);
  return 0;
}

int build(const char* source, const char* out) {
  std::ifstream in(source);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read the source\n", source);
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  preset_image p;
  preset_image_defaults(&p);
  std::string error;
  if (!preset_parse(&p, text.str(), &error)) {
    std::fprintf(stderr, "%s: %s\n", source, error.c_str());
    return 1;
  }
  // The slot writer stores the front record and the visuals' globals; the operator-array headers of
  // the front record are written as zeros whatever they hold.
  std::memcpy(&synth(), &p.synth, sizeof p.synth);
  std::memcpy(modmatrix, p.layers, sizeof modmatrix);
  std::memcpy(modmatrix_of, p.entries, sizeof modmatrix_of);
  byte_array bytes{};
  int ok = slot_bytes(&bytes) && file_write_atomic(out, bytes.raw.data, array_bytes(&bytes.raw));
  array_reset(bytes);
  if (!ok) {
    std::fprintf(stderr, "%s: cannot write the slot file\n", out);
    return 1;
  }
  return 0;
}

// A playlist source holds one event a line: `load MS SLOT` or `end MS`; `#` starts a comment.
bool parse_playlist(const std::string& text, event_array* events, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string verb, rest;
    playlist_event e{PLAYLIST_END, 0.0f, 0};
    if (!(words >> verb)) continue;
    bool ok = verb == "load" ? bool(words >> e.time >> e.slot) && e.slot >= 0 && e.slot < SLOTS
              : verb == "end" ? bool(words >> e.time) : false;
    if (verb == "load") e.kind = PLAYLIST_LOAD_SLOT;
    if (!ok || (words >> rest)) {
      *error = "line " + std::to_string(number) + ": expected `load MS SLOT` (slot 0..7) or `end MS`";
      return false;
    }
    if (!array_push(*events, e)) {
      *error = "out of memory";
      return false;
    }
  }
  return true;
}

int playlist(const char* source, const char* out) {
  std::ifstream in(source);
  std::stringstream text;
  text << in.rdbuf();
  event_array events{};
  std::string error = in ? "" : "cannot read the source";
  bool ok = error.empty() && parse_playlist(text.str(), &events, &error);
  if (ok && !playlist_write_to(out, &events)) error = std::string("cannot write ") + out;
  array_reset(events);
  if (!error.empty()) std::fprintf(stderr, "%s: %s\n", source, error.c_str());
  return error.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "dump") == 0) return dump(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "build") == 0) return build(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "playlist") == 0) return playlist(argv[2], argv[3]);
  return usage();
}
