// Preset slots: the stored layout byte for byte, loads that flip and keep phases and operator headers,
// incomplete and damaged files, and saves that cannot lose the previous preset.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>

#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "tests/storage/scratch_folder.hpp"

namespace {

class Presets : public ::testing::Test {
 protected:
  void SetUp() override {
    oscs_make();
    modmatrix_make();
  }
  std::string slot_path(int slot) { return folder.file("save-" + std::to_string(slot) + ".dat"); }
  scratch_folder folder;
};

bytes_t record_bytes(const synth_state& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(&s);
  return bytes_t(p, p + sizeof s);
}

bytes_t visuals_list(const char* list_tag = "LIST") {
  const auto* m = reinterpret_cast<const unsigned char*>(modmatrix);
  const auto* e = reinterpret_cast<const unsigned char*>(modmatrix_of);
  return list_bytes(list_tag, "VFX ",
                    {chunk_bytes("VFX ", bytes_t(m, m + 320)), chunk_bytes("VFX2", bytes_t(e, e + 768))});
}

// A slot file: the record chunk, then the given members.
bytes_t slot_file(const bytes_t& record, std::vector<bytes_t> rest = {}) {
  rest.insert(rest.begin(), chunk_bytes("KVSY", record));
  return list_bytes("RIFF", "KELV", rest);
}

double phase_of(const synth_state& s, int n) {
  double p;
  std::memcpy(&p, reinterpret_cast<const unsigned char*>(&s) + 196 * n + 148, 8);
  return p;
}

void set_phase(synth_state& s, int n, double p) {
  std::memcpy(reinterpret_cast<unsigned char*>(&s) + 196 * n + 148, &p, 8);
}

// A recognisable state: a value in every area the table names.
void make_distinct_state() {
  synth_state& s = synth();
  s.oscs[2].kind = 7;
  s.oscs[2].note = 61.5f;
  s.oscs[5].p2 = -3.25f;
  s.voices[4].pan = -0.25f;
  s.voices[7].reserved[14] = 9.0f;
  s.cells[3][5].amount = 0.5f;
  s.cells[3][5].type = 6;
  modmatrix[1][2].scale = 0.5f;
  modmatrix[3][0].on = 1;
  modmatrix_of[7][3].divisor = 3.0f;
  modmatrix_of[0][1].type = 4;
}

}  // namespace

TEST_F(Presets, SlotThreeIsLaidOutAsTheStoredTable) {
  make_distinct_state();
  set_phase(synth(), 6, 0.375);
  ASSERT_STREQ(slot_save(3), "save succesfully.");
  bytes_t f = read_file(slot_path(3));
  ASSERT_EQ(f.size(), 4756u);
  EXPECT_EQ(tag_at(f, 0), "RIFF");
  EXPECT_EQ(word_at(f, 4), 4748u);
  EXPECT_EQ(tag_at(f, 8), "KELV");
  EXPECT_EQ(tag_at(f, 12), "KVSY");
  EXPECT_EQ(word_at(f, 16), 3620u);
  // The record from offset 20: oscillators 196 bytes apart, voices from 1568, cells from 2336.
  EXPECT_EQ(word_at(f, 20 + 196 * 2 + 0), 7u);
  EXPECT_EQ(float_at(f, 20 + 196 * 2 + 144), 61.5f);
  EXPECT_EQ(float_at(f, 20 + 196 * 5 + 160), -3.25f);
  EXPECT_EQ(float_at(f, 20 + 196 * 0 + 140), 1.0f);  // divisor default
  double phase;
  std::memcpy(&phase, f.data() + 20 + 196 * 6 + 148, 8);
  EXPECT_EQ(phase, 0.375);
  EXPECT_EQ(float_at(f, 20 + 1568 + 96 * 4 + 4), -0.25f);
  EXPECT_EQ(float_at(f, 20 + 1568 + 96 * 7 + 16), 14700.0f);
  EXPECT_EQ(float_at(f, 20 + 1568 + 96 * 7 + 4 * 23), 9.0f);
  EXPECT_EQ(word_at(f, 20 + 2336 + 160 * 3 + 20 * 5 + 0), 6u);
  EXPECT_EQ(float_at(f, 20 + 2336 + 160 * 3 + 20 * 5 + 4), 0.5f);
  EXPECT_EQ(float_at(f, 20 + 2336 + 160 * 4 + 20 * 4 + 4), 1.0f);  // diagonal weight
  EXPECT_EQ(float_at(f, 20 + 3616), 1.0f);                          // front fade
  for (int n = 0; n < 8; ++n) {
    for (int at : {16, 44}) {  // operator-array headers: stored as zeros
      for (int b = 0; b < 16; ++b) EXPECT_EQ(f[size_t(20 + 196 * n + at + b)], 0) << n << " " << at;
    }
  }
  EXPECT_EQ(tag_at(f, 3640), "LIST");
  EXPECT_EQ(word_at(f, 3644), 1108u);
  EXPECT_EQ(tag_at(f, 3648), "VFX ");
  EXPECT_EQ(tag_at(f, 3652), "VFX ");
  EXPECT_EQ(word_at(f, 3656), 320u);
  EXPECT_EQ(float_at(f, 3660 + (1 * 4 + 2) * 20 + 8), 0.5f);
  EXPECT_EQ(word_at(f, 3660 + (3 * 4 + 0) * 20 + 0), 1u);
  EXPECT_EQ(float_at(f, 3660 + (2 * 4 + 2) * 20 + 16), 1.0f);  // rotate x default
  EXPECT_EQ(tag_at(f, 3980), "VFX2");
  EXPECT_EQ(word_at(f, 3984), 768u);
  EXPECT_EQ(float_at(f, 3988 + (7 * 4 + 3) * 24 + 12), 3.0f);
  EXPECT_EQ(word_at(f, 3988 + (0 * 4 + 1) * 24 + 0), 4u);
}

TEST_F(Presets, LoadingRestoresTheStateKeepsPhasesAndFlips) {
  make_distinct_state();
  ASSERT_STREQ(slot_save(3), "save succesfully.");
  synth_state saved;
  std::memcpy(&saved, &synth(), sizeof saved);
  for (int n = 0; n < 8; ++n) set_phase(synth(), n, 0.01 * (n + 1));
  synth().oscs[2].note = 12.0f;
  synth().voices[4].pan = 0.75f;
  modmatrix[1][2].scale = -2.0f;
  modmatrix_of[7][3].divisor = 8.0f;
  int32_t front_before = synth_current;

  ASSERT_STREQ(slot_load(3), "loaded succesfully.");
  EXPECT_EQ(synth_current, 1 - front_before);
  synth_state& now = synth();
  EXPECT_EQ(now.fade, 0.0f);           // fades in from silence
  EXPECT_EQ(synth_back().fade, 1.0f);  // the old sound fades out from where it was
  for (int n = 0; n < 8; ++n) EXPECT_EQ(phase_of(now, n), 0.01 * (n + 1)) << "phase " << n;
  EXPECT_EQ(modmatrix[1][2].scale, 0.5f);
  EXPECT_EQ(modmatrix_of[7][3].divisor, 3.0f);
  // Every other byte outside headers, phases and fade came from the file.
  bytes_t a = record_bytes(saved), b = record_bytes(now);
  for (int at = 0; at < 3616; ++at) {
    int in_osc = at % 196;
    bool kept = at < 1568 && ((in_osc >= 16 && in_osc < 32) || (in_osc >= 44 && in_osc < 60) || (in_osc >= 148 && in_osc < 156));
    if (!kept) {
      ASSERT_EQ(a[size_t(at)], b[size_t(at)]) << "byte " << at;
    }
  }
}

TEST_F(Presets, ALoadKeepsTheOperatorHeadersOfTheRecordItLandsIn) {
  synth_state garbage;
  std::memset(&garbage, 0xFF, sizeof garbage);  // every float NaN, every header a wild handle
  fm_synth_osc_array saw[8], square[8];
  for (int n = 0; n < 8; ++n) {
    saw[n] = synth_back().oscs[n].fm_saw.operators;
    square[n] = synth_back().oscs[n].fm_square.operators;
  }
  bytes_t file = slot_file(record_bytes(garbage), {visuals_list()});
  EXPECT_STREQ(load_bytes(file), "loaded succesfully.");
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(std::memcmp(&synth().oscs[n].fm_saw.operators, &saw[n], 16), 0) << n;
    EXPECT_EQ(std::memcmp(&synth().oscs[n].fm_square.operators, &square[n], 16), 0) << n;
    EXPECT_TRUE(std::isfinite(phase_of(synth(), n)));
    EXPECT_NE(fm_synth_osc_array_get(&synth().oscs[n].fm_square.operators, 1), nullptr);
  }
  EXPECT_TRUE(std::isnan(synth().voices[0].pan));  // stored bytes are applied as they stand
}

TEST_F(Presets, IncompleteAndUnreadableFiles) {
  EXPECT_STREQ(load_bytes({}), "cannot load from file.");
  EXPECT_STREQ(load_bytes({'R', 'I', 'F', 'F', 4, 0}), "cannot load from file.");
  EXPECT_STREQ(slot_load(6), "cannot load from file.");
  EXPECT_FALSE(std::filesystem::exists(slot_path(6))) << "a load never creates a slot file";
  EXPECT_EQ(slot_load(8), PRESET_CANNOT_LOAD);  // the very array, whichever unit compares
  EXPECT_STREQ(slot_load(-1), "cannot load from file.");

  synth_state stored;
  std::memcpy(&stored, &synth(), sizeof stored);
  stored.oscs[1].note = 33.0f;
  int32_t front = synth_current;
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(stored))), "incomplete load.");
  EXPECT_EQ(synth_current, 1 - front);  // the record alone was still applied
  EXPECT_EQ(synth().oscs[1].note, 33.0f);

  // A visuals list with one member applies it but does not count.
  vfx_cell layers[4][4];
  std::memcpy(layers, modmatrix, sizeof layers);
  layers[2][1].rotate_z = 0.125f;
  const auto* m = reinterpret_cast<const unsigned char*>(layers);
  bytes_t one = list_bytes("LIST", "VFX ", {chunk_bytes("VFX ", bytes_t(m, m + 320))});
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(stored), {one})), "incomplete load.");
  EXPECT_EQ(modmatrix[2][1].rotate_z, 0.125f);

  // Members straight in the outer list count too; a list whose members do not parse counts nothing.
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(stored), {chunk_bytes("VFX ", bytes_t(m, m + 320))})),
               "loaded succesfully.");
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(stored), {chunk_bytes("LIST", {'V', 'F'})})), "incomplete load.");
}

TEST_F(Presets, DamagedRecordsLeaveTheSoundUntouched) {
  synth_state before[2];
  std::memcpy(before, synths, sizeof before);
  int32_t front = synth_current;
  bytes_t record = record_bytes(synth());
  bytes_t short_record(record.begin(), record.end() - 1);
  bytes_t long_record = record;
  long_record.push_back(0);
  for (const bytes_t& file : {slot_file(short_record, {visuals_list()}), slot_file(long_record),
                              list_bytes("RIFF", "KELV", {chunk_bytes("KVSX", record)})}) {
    EXPECT_STREQ(load_bytes(file), "incomplete load.");
  }
  bytes_t truncated = slot_file(record, {visuals_list()});
  truncated.resize(4000);
  EXPECT_STREQ(load_bytes(truncated), "cannot load from file.");
  EXPECT_EQ(synth_current, front);
  EXPECT_EQ(std::memcmp(before, synths, sizeof before), 0);
}

TEST_F(Presets, DeepNestingIsBoundedAndNeverCrashes) {
  const auto* m = reinterpret_cast<const unsigned char*>(modmatrix);
  const auto* e = reinterpret_cast<const unsigned char*>(modmatrix_of);
  bytes_t pair_a = chunk_bytes("VFX ", bytes_t(m, m + 320)), pair_b = chunk_bytes("VFX2", bytes_t(e, e + 768));
  // Two levels: a list whose two members are a complete list and a chunk applies.
  bytes_t nested = list_bytes("LIST", "VFX ", {list_bytes("LIST", "VFX ", {pair_a, pair_b}), pair_b});
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(synth()), {nested})), "loaded succesfully.");
  // 100000 lists inside each other (12 bytes a level) around a complete visuals pair: followed all the
  // way down, this would overflow the stack and copy tens of gigabytes.
  const size_t levels = 100000;
  bytes_t inner = list_bytes("LIST", "VFX ", {pair_a, pair_b});
  bytes_t deep(levels * 12);
  for (size_t level = 0; level < levels; ++level) {
    uint32_t length = uint32_t(deep.size() - level * 12 - 8 + inner.size());
    std::memcpy(deep.data() + level * 12, "LIST", 4);
    std::memcpy(deep.data() + level * 12 + 4, &length, 4);
    std::memcpy(deep.data() + level * 12 + 8, "VFX ", 4);
  }
  deep.insert(deep.end(), inner.begin(), inner.end());
  EXPECT_STREQ(load_bytes(slot_file(record_bytes(synth()), {deep})), "incomplete load.");
}

TEST_F(Presets, SaveIsAtomicWhereverTheWriteStops) {
  make_distinct_state();
  ASSERT_STREQ(slot_save(3), "save succesfully.");
  const bytes_t previous = read_file(slot_path(3));
  synth().oscs[0].note = 99.0f;  // the save that will be interrupted differs from what is there
  modmatrix[0][0].scale = 2.0f;
  for (int limit = 0; limit < SLOT_FILE_BYTES; limit += (limit < 64 || limit > SLOT_FILE_BYTES - 64) ? 1 : 29) {
    const bool crash = limit % 2 == 1;  // odd limits: the process dies in the write; even: the write fails
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
      rlimit cap{rlim_t(limit), rlim_t(limit)};
      setrlimit(RLIMIT_FSIZE, &cap);
      _exit(std::strcmp(slot_save(3), "cannot save to file.") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (crash) EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << limit;
    else EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reported at " << limit;
    ASSERT_EQ(read_file(slot_path(3)), previous) << "slot damaged by a save stopped after " << limit << " bytes";
  }
  ASSERT_STREQ(slot_save(3), "save succesfully.");
  bytes_t now = read_file(slot_path(3));
  ASSERT_EQ(now.size(), 4756u);
  EXPECT_EQ(float_at(now, 20 + 144), 99.0f);
}

TEST_F(Presets, SavingKeepsPermissionsAndOverwritesALongerFileWhole) {
  bytes_t junk(9000, 0x5A);
  write_file(slot_path(1), junk);
  chmod(slot_path(1).c_str(), 0640);
  ASSERT_STREQ(slot_save(1), "save succesfully.");
  EXPECT_EQ(read_file(slot_path(1)).size(), 4756u);  // no stale tail
  struct stat st;
  ASSERT_EQ(stat(slot_path(1).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // A slot kept elsewhere through a symbolic link is saved there, and the link stays a link.
  std::filesystem::create_directory(folder.file("kept"));
  write_file(folder.file("kept/two.dat"), junk);
  std::filesystem::create_symlink(folder.file("kept/two.dat"), slot_path(2));
  ASSERT_STREQ(slot_save(2), "save succesfully.");
  EXPECT_TRUE(std::filesystem::is_symlink(slot_path(2)));
  EXPECT_EQ(read_file(folder.file("kept/two.dat")).size(), 4756u);
  EXPECT_STREQ(slot_load(2), "loaded succesfully.");
  EXPECT_STREQ(slot_save_to("/nonexistent-folder/save-1.dat"), "cannot save to file.");
  EXPECT_STREQ(slot_save(8), "cannot save to file.");
  byte_array name{};
  EXPECT_EQ(slot_filename(&name, 5), 1);
  EXPECT_EQ(std::string(array_data(name)), slot_path(5));
  array_reset(name);
}

// The seed slot file is written by a separate script straight from the stored table, so loading it and
// saving again checks both directions against the table rather than against this code.
TEST_F(Presets, ASlotWrittenFromTheTableLoadsAndSavesBackIdentically) {
  bytes_t f = read_file(std::string(KV_STORAGE_SEEDS) + "/slot/whole");
  ASSERT_EQ(f.size(), 4756u);
  EXPECT_STREQ(load_bytes(f), "loaded succesfully.");
  EXPECT_EQ(synth().oscs[3].kind, 3);
  EXPECT_EQ(synth().oscs[3].note, 60.0f);
  EXPECT_EQ(synth().voices[2].volume, 0.5f);
  EXPECT_EQ(modmatrix_of[5][2].type, 5);
  EXPECT_EQ(modmatrix_of[5][2].function, 2);
  EXPECT_EQ(modmatrix[3][3].rotate_x, 1.0f);
  byte_array again{};
  ASSERT_EQ(slot_bytes(&again), 1);
  ASSERT_EQ(array_bytes(&again.raw), 4756);
  const auto* a = reinterpret_cast<const unsigned char*>(again.raw.data);
  for (int at = 0; at < 4756; ++at) {
    int in_record = at - 20;
    bool phase = in_record >= 0 && in_record < 1568 && in_record % 196 >= 148 && in_record % 196 < 156;
    bool fade = in_record >= 3616 && in_record < 3620;
    if (!phase && !fade) {
      ASSERT_EQ(a[at], f[size_t(at)]) << "byte " << at;
    }
  }
  array_reset(again);
}
