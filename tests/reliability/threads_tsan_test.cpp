// The instrument's threads at once, as in a performance: the audio callback, MIDI packets through midifn,
// grid presses over OSC with the panel's frames and commits, and panel edits with slot loads (shipped and
// damaged files) on the display thread. Built with ThreadSanitizer, whose report fails the run.
//
// KV_TSAN_SECONDS sets the length of the run (15 s by default).
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/monome.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "library/devices/audio-frame.hpp"
#include "tools/soak/soak_stream.hpp"

namespace {

double run_seconds() {
  const char* text = std::getenv("KV_TSAN_SECONDS");
  return text && std::atof(text) > 0.0 ? std::atof(text) : 15.0;
}

// Every word of a block must be a finite sample: a torn read of a shared word would show here first.
struct audio_side {
  std::atomic<int64_t> blocks{0}, bad_samples{0};
};

// The audio thread as the device drives it: callback, then the frame counter advances. The counter
// starts past the silent start so every block renders.
void audio_thread(audio_side* a, const std::atomic<bool>* stop) {
  audio_frame frame;
  ASSERT_EQ(audio_frame_make(&frame), 1);
  frame.report_time = 1e300;  // no statistics line
  for (frame.frame_counter = 520; !stop->load(std::memory_order_relaxed); frame.frame_counter++, a->blocks++) {
    audiofn(nullptr, &frame);
    for (int32_t k = 0; k < AUDIO_BLOCK; ++k) a->bad_samples += !std::isfinite(frame.left[k]) + !std::isfinite(frame.right[k]);
  }
  audio_frame_delete(&frame);
}

void midi_thread(std::atomic<int64_t>* events, const std::atomic<bool>* stop) {
  auto s = std::make_unique<soak_stream>();
  soak_stream_make(s.get(), 7);
  while (!stop->load(std::memory_order_relaxed)) {
    midi_packet p;
    soak_midi_packet(s.get(), &p);
    *events += midifn(nullptr, &p);
  }
}

// Presses sent as a grid sends them, to the OSC server on port 7770; the panel's side of the record
// (frames, LEDs, commits) on the same thread. When another process holds the port the presses take the
// press handler's own path instead, so the record is exercised either way.
void grid_thread(monome* m, std::atomic<int64_t>* seen, const std::atomic<bool>* stop) {
  lo_address server = lo_address_new("127.0.0.1", monome_server_port);
  int32_t frame = 0;
  while (!stop->load(std::memory_order_relaxed)) {
    int32_t cell = (frame * 37) % monome_cells;
    lo_send(server, "/box/press", "iii", cell % 8, cell / 8, 1);
    lo_send(server, "/box/press", "iii", cell % 8, cell / 8, 0);
    if (frame % 4 == 0) monome_accept_press(m, (cell + 3) % 8, cell / 8, 1);
    monome_define(m);
    for (int32_t c = 0; c < monome_cells; ++c) *seen += monome_button_down(m, c / 8, c % 8) != 0;
    for (int32_t s = 0; s < 8; ++s) monome_set_led(m, 0, s, (frame / 8) % 8 == s);
    monome_commit(m);
    frame++;
    usleep(1000);
  }
  lo_address_free(server);
}

}  // namespace

TEST(InstrumentThreads, AudioMidiGridPanelAndLoadsRunTogetherWithoutARace) {
  oscs_make();
  ASSERT_EQ(delay_lines_make(), 1);
  auto display = std::make_unique<soak_stream>();
  soak_stream_make(display.get(), 11);
  ASSERT_GT(soak_stream_add_slots(display.get(), KV_SOAK_SLOTS), 0) << KV_SOAK_SLOTS;
  auto grid = std::make_unique<monome>();
  monome_make(grid.get(), "/box");  // says so here when another process holds port 7770
  // midifn prints every event: those lines go nowhere during the run.
  std::fflush(stdout);
  int saved_stdout = dup(STDOUT_FILENO);
  ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr);

  synth_handoff_enable(1);  // as when a real-time stream plays: presets cross over by hand-over
  std::atomic<bool> stop{false};
  audio_side audio;
  std::atomic<int64_t> midi_events{0}, presses_seen{0};
  std::thread a(audio_thread, &audio, &stop), b(midi_thread, &midi_events, &stop),
      c(grid_thread, grid.get(), &presses_seen, &stop);

  // The display thread: panel edits every frame, a slot load (shipped or damaged) every few frames, and
  // now and then the bytes a save would write.
  int64_t loads = 0, saves = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(run_seconds());
  for (int64_t frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
    for (int k = 0; k < 8; ++k) soak_panel_edit(display.get());
    if (frame % 5 == 0) {
      auto kind = soak_slot_kind(frame % 10 == 0 ? SLOT_SHIPPED : 1 + soak_below(display.get(), SLOT_KINDS - 1));
      soak_load(display.get(), soak_slot_bytes(display.get(), kind));
      loads++;
    }
    if (frame % 50 == 0) {
      byte_array bytes{};
      saves += slot_bytes(&bytes);
      array_reset(bytes);
    }
    usleep(16000);
  }
  stop = true;
  a.join(), b.join(), c.join();
  synth_handoff_enable(0);
  std::fflush(stdout);
  dup2(saved_stdout, STDOUT_FILENO);
  close(saved_stdout);
  monome_delete(grid.get());

  EXPECT_TRUE(audio.blocks > 100 && midi_events > 1000 && presses_seen > 0 && display->counts.loaded > 0)
      << audio.blocks << " blocks, " << midi_events << " MIDI events, " << presses_seen << " presses seen, "
      << display->counts.loaded << " slots loaded";
  EXPECT_EQ(audio.bad_samples.load(), 0);
  EXPECT_EQ(loads, display->counts.loaded + display->counts.incomplete + display->counts.refused);
  EXPECT_GT(saves, 0);
}
