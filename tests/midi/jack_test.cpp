// The MIDI input on one JACK dummy server: the port from commit until finish, notes from jack_midiseq,
// and a server that goes away under an open port.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "apps/kelvarin/main_midi.hpp"
#include "apps/kelvarin/synth.hpp"
#include "tests/support/servers.hpp"
#include "toolset/atomics.hpp"

namespace {

template <class F>
bool eventually(F condition) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return condition();
}

}  // namespace

TEST(MidiJack, PortLivesFromCommitToFinishAndCarriesNotes) {
  auto server = std::make_unique<jack_server>("midi");
  ASSERT_TRUE(server->ready());
  auto has_port = [&](const char* port) {
    std::vector<std::string> ports = server->ports();
    return std::find(ports.begin(), ports.end(), port) != ports.end();
  };
  oscs_make();
  midi_io* io = kelvarin_midi_define();
  ASSERT_EQ(io->backend, MIDI_BACKEND_JACK);
  EXPECT_STREQ(midi_io_client_name(io), "vorn");
  EXPECT_FALSE(has_port("vorn:kelvarin"));
  kelvarin_midi_commit(io);
  EXPECT_NE(run_command("jack_lsp -t vorn:kelvarin 2>/dev/null").find("midi"), std::string::npos);
  testing::internal::CaptureStdout();
  child_process seq({"jack_midiseq", "kv-seq", "11025", "0", "62", "2205"}, server->env());  // a 50 ms 62 every 250 ms
  ASSERT_TRUE(eventually([&] { return has_port("kv-seq:out"); }));
  int status = -1;
  run_command("jack_connect kv-seq:out vorn:kelvarin", &status);
  EXPECT_EQ(status, 0);
  bool played = eventually([] { return load_relaxed(synth().oscs[0].note) == 62.0f; });
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  kelvarin_midi_finish(&io);  // joins the thread: every line is printed by now
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(played);
  EXPECT_NE(out.find("received note on: 62 64 on channel 0\nreceived note off: 62 on channel 0\n"), std::string::npos) << out;
  EXPECT_EQ(io, nullptr);
  EXPECT_TRUE(eventually([&] { return run_command("jack_lsp 2>/dev/null").find("vorn:") == std::string::npos; }));

  io = kelvarin_midi_define();
  kelvarin_midi_commit(io);
  seq.stop();
  server.reset();  // delivery stops, and finish still returns
  auto finished = std::async(std::launch::async, [&] { kelvarin_midi_finish(&io); });
  EXPECT_EQ(finished.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
