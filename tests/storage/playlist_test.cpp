// The playlist file: one "PLS " chunk of 12-byte events, appended on reading, replaced whole on writing.
#include <gtest/gtest.h>

#include "apps/kelvarin/playlist.hpp"
#include "tests/storage/scratch_folder.hpp"

namespace {
bytes_t event_bytes(int32_t kind, float time, int32_t slot) {
  bytes_t b(12);
  std::memcpy(b.data(), &kind, 4);
  std::memcpy(b.data() + 4, &time, 4);
  std::memcpy(b.data() + 8, &slot, 4);
  return b;
}
}  // namespace

TEST(Playlist, WriteThenReadAppendsAfterWhatIsThere) {
  scratch_folder folder;
  event_array events{};
  array_push(events, playlist_event{PLAYLIST_LOAD_SLOT, 1000.0f, 2});
  array_push(events, playlist_event{PLAYLIST_END, 5000.0f, 0});
  ASSERT_EQ(playlist_write(&events), 1);
  bytes_t f = read_file(folder.file("playlist"));
  ASSERT_EQ(f.size(), 8u + 24u);
  EXPECT_EQ(tag_at(f, 0), "PLS ");
  EXPECT_EQ(word_at(f, 4), 24u);
  EXPECT_EQ(bytes_t(f.begin() + 8, f.begin() + 20), event_bytes(0, 1000.0f, 2));
  EXPECT_EQ(bytes_t(f.begin() + 20, f.end()), event_bytes(1, 5000.0f, 0));

  event_array loaded{};
  array_push(loaded, playlist_event{0, 10.0f, 7});
  EXPECT_EQ(playlist_read(&loaded), 2);
  ASSERT_EQ(event_array_length(&loaded), 3);
  EXPECT_EQ(event_array_get(&loaded, 0)->slot, 7);
  EXPECT_EQ(event_array_get(&loaded, 1)->time, 1000.0f);
  EXPECT_EQ(event_array_get(&loaded, 2)->kind, PLAYLIST_END);
  array_reset(loaded);
  array_reset(events);
}

TEST(Playlist, DamagedOrMissingFilesGiveOnlyCompleteEvents) {
  scratch_folder folder;
  event_array events{};
  EXPECT_EQ(playlist_read(&events), 0);  // missing
  EXPECT_FALSE(std::filesystem::exists(folder.file("playlist")));
  write_file(folder.file("playlist"), {});
  EXPECT_EQ(playlist_read(&events), 0);  // empty

  bytes_t data = event_bytes(0, 250.0f, 4);
  bytes_t second = event_bytes(0, 500.0f, 5);
  data.insert(data.end(), second.begin(), second.begin() + 7);  // a trailing incomplete event
  write_file(folder.file("playlist"), chunk_bytes("ANY!", data));  // the tag is not examined
  EXPECT_EQ(playlist_read(&events), 1);
  ASSERT_EQ(event_array_length(&events), 1);
  EXPECT_EQ(event_array_get(&events, 0)->slot, 4);

  bytes_t lying = chunk_bytes("PLS ", event_bytes(0, 1.0f, 1));
  lying[4] = 200;  // claims more than the file holds
  write_file(folder.file("playlist"), lying);
  EXPECT_EQ(playlist_read(&events), 0);
  EXPECT_EQ(event_array_length(&events), 1);
  array_reset(events);
}

TEST(Playlist, AnEmptyListIsNeverWrittenOverTheStoredOne) {
  scratch_folder folder;
  event_array events{};
  array_push(events, playlist_event{0, 1.0f, 1});
  ASSERT_EQ(playlist_write(&events), 1);
  bytes_t before = read_file(folder.file("playlist"));
  event_array empty{};
  EXPECT_EQ(playlist_write(&empty), 0);
  EXPECT_EQ(read_file(folder.file("playlist")), before);
  // A longer stored playlist is replaced whole, leaving no stale events behind it.
  write_file(folder.file("playlist"), bytes_t(100, 7));
  ASSERT_EQ(playlist_write(&events), 1);
  EXPECT_EQ(read_file(folder.file("playlist")).size(), 20u);
  array_reset(events);
}
