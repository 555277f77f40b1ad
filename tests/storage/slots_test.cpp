// Preset slots and the playlist: the stored layout field by field, damaged files that change nothing, and
// saves that cannot lose the previous preset.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/brightloom/env-all.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/kelvarin/presets.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace {

// Helpers that read whole files, assemble chunks by hand and load bytes.
using bytes_t = std::vector<unsigned char>;

inline bytes_t read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes_t(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class T = uint32_t>
T value_at(const bytes_t& b, size_t at) {
  T v{};
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

template <class T>
bytes_t bytes_of(const T& value) {
  const auto* first = reinterpret_cast<const unsigned char*>(&value);
  return bytes_t(first, first + sizeof value);
}

// Chunk bytes assembled by hand: tag, little-endian length, data; a list is a chunk of a type and members.
inline bytes_t chunk_bytes(const char* tag, bytes_t data) {
  bytes_t length = bytes_of(uint32_t(data.size()));
  data.insert(data.begin(), length.begin(), length.end());
  data.insert(data.begin(), tag, tag + 4);
  return data;
}
inline bytes_t list_bytes(const char* tag, const char* type, const std::vector<bytes_t>& members) {
  bytes_t data(type, type + 4);
  for (const bytes_t& m : members) data.insert(data.end(), m.begin(), m.end());
  return chunk_bytes(tag, data);
}

// Loads a slot from bytes in memory and returns the loader's message.
inline const char* load_bytes(const bytes_t& file) {
  byte_array a{};
  stream s;
  array_catb(&a.raw, file.data(), int32_t(file.size()));
  stream_make_on_array(&s, STREAM_READ, &a);
  const char* message = load(&s);
  stream_delete(&s);
  array_reset(a);
  return message;
}

// A fresh resource folder per test, named through KELVARIN_RESOURCES: tests never touch a performer's slots.
struct Slots : ::testing::Test {
  void SetUp() override {
    engine_reset();
    setenv("KELVARIN_RESOURCES", mkdtemp(folder), 1);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder);
    unsetenv("KELVARIN_RESOURCES");
  }
  std::string in_folder(const std::string& name) const { return std::string(folder) + "/" + name; }
  std::string slot_path(int slot) const { return in_folder("save-" + std::to_string(slot) + ".dat"); }
  char folder[23] = "/tmp/kv-storage-XXXXXX";
};

bytes_t visuals_list() {
  return list_bytes("LIST", "VFX ",
                    {chunk_bytes("VFX ", bytes_of(modmatrix)), chunk_bytes("VFX2", bytes_of(modmatrix_of))});
}

bytes_t slot_file(const bytes_t& record, std::vector<bytes_t> rest = {}) {
  rest.insert(rest.begin(), chunk_bytes("KVSY", record));
  return list_bytes("RIFF", "KELV", rest);
}

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }
uint32_t tag(const char* t) {
  return uint32_t(t[0]) | uint32_t(t[1]) << 8 | uint32_t(t[2]) << 16 | uint32_t(t[3]) << 24;
}

// A loaded record keeps its own phases: a save after a load differs from the file there.
bool phase_byte(int at) { return at < 1568 && at % 196 >= 148 && at % 196 < 156; }

}  // namespace

// Slot 3 saved against the stored table; then the seed slot file, written by a script straight from the
// table, loaded and saved again: both directions against the table rather than against this code.
TEST_F(Slots, SlotsAreLaidOutAsTheStoredTable) {
  synth_state& s = synth();
  s.oscs[2].kind = 7;
  s.oscs[2].note = 61.5f;
  s.oscs[5].p2 = -3.25f;
  s.oscs[0].phase = 0.375;
  s.voices[4].pan = -0.25f;
  s.voices[7].reserved[14] = 9.0f;
  s.cells[3][5].type = 6;
  s.cells[3][5].amount = 0.5f;
  modmatrix[1][2].scale = 0.5f;
  modmatrix[3][0].on = 1;
  modmatrix_of[7][3].divisor = 3.0f;
  modmatrix_of[0][1].type = 4;
  ASSERT_STREQ(slot_save(3), PRESET_SAVED);
  bytes_t f = read_file(slot_path(3));
  ASSERT_EQ(f.size(), 4756u);
  const std::pair<size_t, uint32_t> table[] = {  // layer 0 stays on the mix: 3660 holds 1
      {0, tag("RIFF")}, {4, 4748}, {8, tag("KELV")}, {12, tag("KVSY")}, {16, 3620}, {20 + 196 * 2, 7},
      {20 + 196 * 2 + 144, bits(61.5f)}, {20 + 196 * 5 + 160, bits(-3.25f)},
      {20 + 1568 + 96 * 4 + 4, bits(-0.25f)}, {20 + 1568 + 96 * 7 + 92, bits(9.0f)},
      {20 + 2336 + 160 * 3 + 20 * 5, 6}, {20 + 2336 + 160 * 3 + 20 * 5 + 4, bits(0.5f)},
      {3640, tag("LIST")}, {3644, 1108}, {3648, tag("VFX ")}, {3652, tag("VFX ")}, {3656, 320}, {3660, 1},
      {3660 + 6 * 20 + 8, bits(0.5f)}, {3660 + 12 * 20, 1}, {3980, tag("VFX2")}, {3984, 768},
      {3988 + 31 * 24 + 12, bits(3.0f)}, {3988 + 24, 4}};
  for (auto [at, value] : table) EXPECT_EQ(value_at(f, at), value) << "byte " << at;
  EXPECT_EQ(value_at<double>(f, 20 + 148), 0.375);
  f = read_file(std::string(KV_STORAGE_SEEDS) + "/slot/whole");
  ASSERT_STREQ(load_bytes(f), PRESET_LOADED);  // it fades in, and the phases carry on
  EXPECT_EQ(std::tuple(synth().fade, synth_back().fade, synth().oscs[0].phase), std::tuple(0.0f, 1.0f, 0.375));
  EXPECT_EQ(std::tuple(synth().oscs[3].kind, synth().oscs[3].note, synth().voices[2].volume),
            std::tuple(3, 60.0f, 0.5f));
  EXPECT_EQ(std::tuple(modmatrix_of[5][2].type, modmatrix_of[5][2].function, modmatrix[3][3].rotate_x),
            std::tuple(5, 2, 1.0f));
  byte_array again{};
  ASSERT_EQ(slot_bytes(&again), 1);
  ASSERT_EQ(array_bytes(&again.raw), 4756);
  for (int at = 0; at < 4756; ++at) {
    bool same = std::to_integer<uint8_t>(again.raw.data[at]) == f[size_t(at)];
    ASSERT_TRUE(phase_byte(at - 20) || (at >= 3636 && at < 3640) || same) << "byte " << at;
  }
  array_reset(again);
}

TEST_F(Slots, IncompleteAndDamagedFilesSayWhatHappenedAndNeverCrash) {
  const bytes_t record = bytes_of(synth());
  const bytes_t pair = chunk_bytes("VFX ", bytes_of(modmatrix));
  bytes_t deep(100000 * 12);  // 100000 lists inside each other around a whole pair
  const bytes_t inner = visuals_list();
  for (size_t level = 0; level < 100000; ++level) {
    bytes_t head = list_bytes("LIST", "VFX ", {});
    uint32_t length = uint32_t(deep.size() - level * 12 - 8 + inner.size());
    std::memcpy(head.data() + 4, &length, 4);
    std::copy(head.begin(), head.end(), deep.begin() + long(level * 12));
  }
  deep.insert(deep.end(), inner.begin(), inner.end());
  bytes_t cut = slot_file(record, {visuals_list()});
  cut.resize(4000);
  bytes_t longer = record;
  longer.push_back(0);
  const struct {
    const char* what;
    bytes_t file;
    const char* message;
    bool applied;
  } cases[] = {
      {"empty", {}, PRESET_CANNOT_LOAD, false},
      {"cut short", cut, PRESET_CANNOT_LOAD, false},
      {"record alone", slot_file(record), PRESET_INCOMPLETE, true},
      {"members straight in the outer list", slot_file(record, {pair}), PRESET_LOADED, true},
      {"list whose members do not parse", slot_file(record, {chunk_bytes("LIST", {'V', 'F'})}), PRESET_INCOMPLETE,
       true},
      {"two levels", slot_file(record, {list_bytes("LIST", "VFX ", {visuals_list(), pair})}), PRESET_LOADED, true},
      {"too deep", slot_file(record, {deep}), PRESET_INCOMPLETE, true},
      {"record a byte short", slot_file(bytes_t(record.begin(), record.end() - 1), {visuals_list()}),
       PRESET_INCOMPLETE, false},
      {"record a byte long", slot_file(longer), PRESET_INCOMPLETE, false},
      {"record under another tag", list_bytes("RIFF", "KELV", {chunk_bytes("KVSX", record)}), PRESET_INCOMPLETE,
       false},
  };
  for (const auto& c : cases) {
    engine_reset();
    const bytes_t before = bytes_of(synths);
    EXPECT_STREQ(load_bytes(c.file), c.message) << c.what;
    EXPECT_EQ(synth_current, c.applied ? 1 : 0) << c.what;
    if (!c.applied) {
      EXPECT_EQ(bytes_of(synths), before) << c.what;
    }
  }
  EXPECT_STREQ(slot_load(6), PRESET_CANNOT_LOAD);
  EXPECT_FALSE(std::filesystem::exists(slot_path(6))) << "a load never creates a slot file";
  EXPECT_EQ(slot_load(8), PRESET_CANNOT_LOAD);
  EXPECT_EQ(slot_load(-1), PRESET_CANNOT_LOAD);
  parser p;  // the parser's string steps take exactly their bytes or nothing
  parser_make(&p, "save-3.dat", 10);
  char buffer[8];
  EXPECT_EQ(parse_a_string(&p, buffer, 11), 0);
  EXPECT_EQ(parse_a_string(&p, buffer, 6) ? std::string(buffer) : "", "save-3");
}

TEST_F(Slots, SavesAreAtomicWhereverTheWriteStops) {
  ASSERT_STREQ(slot_save(3), PRESET_SAVED);
  const bytes_t previous = read_file(slot_path(3));
  synth().oscs[0].note = 99.0f;  // the save that will be interrupted differs from what is there
  for (int limit = 0; limit < SLOT_FILE_BYTES; limit += limit < 64 || limit > SLOT_FILE_BYTES - 64 ? 1 : 29) {
    const bool crash = limit % 2 == 1;  // odd limits: the process dies in the write; even: the write fails
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
      rlimit cap{rlim_t(limit), rlim_t(limit)};
      setrlimit(RLIMIT_FSIZE, &cap);
      _exit(std::strcmp(slot_save(3), PRESET_CANNOT_SAVE) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    bool reported = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE((crash && WIFSIGNALED(status)) || reported) << "reported at " << limit;
    ASSERT_EQ(read_file(slot_path(3)), previous) << "slot damaged by a save stopped after " << limit << " bytes";
  }
  ASSERT_STREQ(slot_save(3), PRESET_SAVED);
  EXPECT_EQ(value_at<float>(read_file(slot_path(3)), 20 + 144), 99.0f);
  EXPECT_EQ(slot_save_to("/nonexistent-folder/save-1.dat"), PRESET_CANNOT_SAVE);
  EXPECT_EQ(slot_save(8), PRESET_CANNOT_SAVE);
}

// What the playlist reads back is checked where it is replayed, and any bytes read as one by the fuzzer.
TEST_F(Slots, PlaylistIsStoredAsItsTableAndNeverAsAnEmptyList) {
  event_array events{}, empty{};
  array_push(events, playlist_event{PLAYLIST_LOAD_SLOT, 1000.0f, 2});
  array_push(events, playlist_event{PLAYLIST_END, 5000.0f, 0});
  ASSERT_EQ(playlist_write(&events), 1);
  const uint32_t want[] = {tag("PLS "), 24, 0, bits(1000.0f), 2, 1, bits(5000.0f), 0};
  const bytes_t f = read_file(in_folder("playlist"));
  ASSERT_EQ(f, bytes_of(want));
  EXPECT_EQ(playlist_write(&empty), 0);
  EXPECT_EQ(read_file(in_folder("playlist")), f);
  array_reset(events);
}
