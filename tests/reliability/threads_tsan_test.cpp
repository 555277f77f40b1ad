// The instrument's threads that share the synthesizer records, at once as in a performance: the audio
// callback, MIDI packets through midifn, and panel edits with slot loads (shipped and damaged files) and
// saves on the display thread (the grid's own threads have their test). Built with ThreadSanitizer, whose
// report fails the run.
// KV_TSAN_SECONDS sets the length of the run (15 s by default).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "library/devices/audio-frame.hpp"
#include "tools/soak/soak_stream.hpp"

TEST(InstrumentThreads, AudioMidiGridPanelAndLoadsRunTogetherWithoutARace) {
  oscs_make();
  ASSERT_EQ(delay_lines_make(), 1);
  auto display = std::make_unique<soak_stream>(), midi = std::make_unique<soak_stream>();
  soak_stream_make(display.get(), 11), soak_stream_make(midi.get(), 7);
  ASSERT_GT(soak_stream_add_slots(display.get(), KV_SOAK_SLOTS), 0) << KV_SOAK_SLOTS;
  std::fflush(stdout);
  int saved_stdout = dup(STDOUT_FILENO);
  ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr);  // midifn prints every event
  synth_handoff_enable(1);  // as when a real-time stream plays: presets cross over by hand-over
  std::atomic<bool> stop{false};
  std::atomic<int64_t> blocks{0}, bad_samples{0}, midi_events{0};
  std::thread audio([&] {  // every word of a block must be a finite sample: a torn read would show here first
    audio_frame frame;
    audio_frame_make(&frame);
    frame.report_time = 1e300;
    for (frame.frame_counter = 520; !stop; frame.frame_counter++, blocks++) {
      audiofn(nullptr, &frame);
      for (int32_t k = 0; k < AUDIO_BLOCK; ++k) bad_samples += !std::isfinite(frame.left[k]) + !std::isfinite(frame.right[k]);
    }
    audio_frame_delete(&frame);
  });
  std::thread midi_thread([&] {
    for (midi_packet p; !stop; midi_events += midifn(nullptr, &p)) soak_midi_packet(midi.get(), &p);
  });
  const char* seconds = std::getenv("KV_TSAN_SECONDS");
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds && std::atof(seconds) > 0 ? std::atof(seconds) : 15.0);
  int64_t saves = 0;
  for (int64_t frame = 0; std::chrono::steady_clock::now() < end; ++frame, usleep(16000)) {
    for (int k = 0; k < 8; ++k) soak_panel_edit(display.get());
    auto kind = soak_slot_kind(frame % 10 == 0 ? SLOT_SHIPPED : 1 + soak_below(display.get(), SLOT_KINDS - 1));
    if (frame % 5 == 0) soak_load(display.get(), soak_slot_bytes(display.get(), kind));
    byte_array bytes{};
    saves += frame % 50 == 0 && slot_bytes(&bytes);
    array_reset(bytes);
  }
  stop = true;
  audio.join(), midi_thread.join();
  synth_handoff_enable(0);
  std::fflush(stdout), dup2(saved_stdout, STDOUT_FILENO), close(saved_stdout);
  EXPECT_TRUE(blocks > 100 && midi_events > 1000 && display->counts.loaded > 0 && saves > 0)
      << blocks << " blocks, " << midi_events << " MIDI events, " << display->counts.loaded << " loaded";
  EXPECT_EQ(bad_samples.load(), 0);
}
