// Slot files: assembling and taking apart the nested chunks, the record flip on load, atomic saves.
#include "apps/kelvarin/presets.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/brightloom/env-all.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr uint32_t TAG_KVSY = chunk_tag("KVSY");
constexpr uint32_t TAG_VFX = chunk_tag("VFX ");
constexpr uint32_t TAG_VFX2 = chunk_tag("VFX2");
constexpr uint32_t TAG_LIST = chunk_tag("LIST");
static_assert(sizeof(modmatrix_of) % 4 == 0);

// The modulation entries are shared with the audio thread, which writes their value and trigger words
// at the end of every analysis window: they are copied as aligned 32-bit words through relaxed atomics.
uint32_t& private_word(void* shared, int32_t byte_offset) {
  return *reinterpret_cast<uint32_t*>(static_cast<std::byte*>(shared) + byte_offset);
}

void private_words_out(void* out, const void* shared, int32_t bytes) {
  for (int32_t at = 0; at < bytes; at += 4) {
    uint32_t w = load_relaxed(private_word(const_cast<void*>(shared), at));
    std::memcpy(static_cast<std::byte*>(out) + at, &w, 4);
  }
}

void private_words_in(void* shared, const void* in, int32_t bytes) {
  for (int32_t at = 0; at < bytes; at += 4) {
    uint32_t w;
    std::memcpy(&w, static_cast<const std::byte*>(in) + at, 4);
    store_relaxed(private_word(shared, at), w);
  }
}

int private_chunk_of(chunk* c, uint32_t tag, const void* bytes, int32_t size) {
  chunk_make(c, tag);
  return array_catb(&c->data.raw, bytes, size);
}

int private_write_chunk(stream* s, uint32_t tag, const void* bytes, int32_t size) {
  chunk c;
  private_chunk_of(&c, tag, bytes, size);
  int written = chunk_write(s, &c);
  chunk_delete(&c);
  return written;
}

int private_vfx_load(chunk* c, int32_t depth);

// A list applies only when exactly two of its members did.
int private_vfx_list_load(chunk* c, int32_t depth) {
  if (depth >= VFX_LIST_DEPTH) return 0;
  list_chunk l;
  if (!list_chunk_from_chunk(&l, c)) return 0;
  stream members;
  stream_make_on_array(&members, STREAM_READ, &l.data);
  int32_t applied = 0;
  chunk member;
  while (chunk_read(&member, &members)) {
    applied += private_vfx_load(&member, depth + 1);
    chunk_delete(&member);
  }
  stream_delete(&members);
  list_chunk_delete(&l);
  return applied == 2;
}

int private_vfx_load(chunk* c, int32_t depth) {
  if (!c->ok) return 0;
  int32_t bytes = array_bytes(&c->data.raw);
  if (chunk_is(c, TAG_VFX) && bytes == int32_t(sizeof(modmatrix))) {
    std::memcpy(modmatrix, c->data.raw.data, sizeof(modmatrix));
    return 1;
  }
  if (chunk_is(c, TAG_VFX2) && bytes == int32_t(sizeof(modmatrix_of))) {
    private_words_in(modmatrix_of, c->data.raw.data, int32_t(sizeof(modmatrix_of)));
    return 1;
  }
  if (chunk_is(c, TAG_LIST)) return private_vfx_list_load(c, depth);
  return 0;
}

std::string private_folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int private_write_all(int fd, const std::byte* bytes, int64_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size_t(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    bytes += n;
    size -= n;
  }
  return 1;
}

// A new file gets the old one's permissions, or rw-r--r--.
void private_take_mode(int fd, const char* path) {
  struct stat old;
  mode_t mode = ::stat(path, &old) == 0 ? (old.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);
}

void private_sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

int slot_filename(byte_array* out, int32_t slot) {
  array_reset(*out);
  if (slot < 0 || slot >= SLOTS) return 0;
  char name[48];
  std::snprintf(name, sizeof name, "virtual://root/save-%d.dat", int(slot));
  *out = vpath(name);
  return array_bytes(&out->raw) > 0;
}

int synth_save(chunk* c) {
  chunk_make(c, TAG_KVSY);
  synth_state copy;
  synth_snapshot(&copy);
  for (osc& o : copy.oscs) {
    o.fm_saw.operators = {};
    o.fm_square.operators = {};
  }
  return array_catb(&c->data.raw, &copy, int32_t(sizeof copy));
}

int synth_load(chunk* c) {
  if (!c->ok || !chunk_is(c, TAG_KVSY) || array_bytes(&c->data.raw) != int32_t(sizeof(synth_state))) return 0;
  synth_state incoming;
  std::memcpy(&incoming, c->data.raw.data, sizeof incoming);
  synth_apply_loaded(&incoming);
  return 1;
}

int vfx_save(list_chunk* l) {
  list_chunk_make(l, TAG_LIST, TAG_VFX);
  frame_modulation entries[8][VFX_LAYERS];
  private_words_out(entries, modmatrix_of, int32_t(sizeof entries));
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, &l->data);
  int layers = private_write_chunk(&s, TAG_VFX, modmatrix, int32_t(sizeof(modmatrix)));
  int modulations = private_write_chunk(&s, TAG_VFX2, entries, int32_t(sizeof entries));
  stream_delete(&s);
  return layers && modulations;
}

int vfx_load(chunk* c) { return private_vfx_load(c, 0); }

const char* load(stream* s) {
  list_chunk outer;
  if (!list_chunk_read(s, &outer)) return PRESET_CANNOT_LOAD;
  stream members;
  stream_make_on_array(&members, STREAM_READ, &outer.data);
  int32_t records = 0, visuals = 0;
  chunk c;
  while (chunk_read(&c, &members)) {
    records += synth_load(&c);
    visuals += vfx_load(&c);
    chunk_delete(&c);
  }
  stream_delete(&members);
  list_chunk_delete(&outer);
  return records >= 1 && visuals > 0 ? PRESET_LOADED : PRESET_INCOMPLETE;
}

int slot_bytes(byte_array* out) {
  list_chunk outer, visuals;
  list_chunk_make(&outer, chunk_tag("RIFF"), chunk_tag("KELV"));
  stream members;
  stream_make_on_array(&members, STREAM_WRITE, &outer.data);
  chunk record;
  int ok = synth_save(&record) && chunk_write(&members, &record);
  chunk_delete(&record);
  ok = vfx_save(&visuals) && list_chunk_write(&members, &visuals) && ok;
  list_chunk_delete(&visuals);
  stream_delete(&members);
  stream whole;
  array_trunc(*out);
  stream_make_on_array(&whole, STREAM_WRITE, out);
  ok = ok && list_chunk_write(&whole, &outer);
  stream_delete(&whole);
  list_chunk_delete(&outer);
  return ok;
}

const char* slot_save_to(const char* path) {
  byte_array bytes{};
  int ok = slot_bytes(&bytes) && file_write_atomic(path, bytes.raw.data, array_bytes(&bytes.raw));
  array_reset(bytes);
  return ok ? PRESET_SAVED : PRESET_CANNOT_SAVE;
}

const char* slot_load_from(const char* path) {
  stream s;
  stream_make_on_file(&s, STREAM_READ, path);
  const char* message = load(&s);
  stream_delete(&s);
  return message;
}

const char* slot_save(int32_t slot) {
  byte_array path{};
  const char* message = slot_filename(&path, slot) ? slot_save_to(array_data(path)) : PRESET_CANNOT_SAVE;
  array_reset(path);
  return message;
}

const char* slot_load(int32_t slot) {
  byte_array path{};
  const char* message = slot_filename(&path, slot) ? slot_load_from(array_data(path)) : PRESET_CANNOT_LOAD;
  array_reset(path);
  return message;
}

int file_write_atomic(const char* path, const void* bytes, int64_t size) {
  if (!path || !*path || size < 0 || (size > 0 && !bytes)) return 0;
  // A slot that is a symbolic link is replaced where the link points, so the link itself stays.
  char resolved[PATH_MAX];
  std::string target(::realpath(path, resolved) ? resolved : path);
  path = target.c_str();
  std::string folder = private_folder_of(target);
  std::string temporary = folder + "/." + target.substr(target.rfind('/') + 1) + ".XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return 0;
  private_take_mode(fd, path);
  int ok = private_write_all(fd, static_cast<const std::byte*>(bytes), size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), path) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return 0;
  }
  private_sync_folder(folder);
  return 1;
}
