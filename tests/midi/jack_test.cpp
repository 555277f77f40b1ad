// The MIDI input on a JACK dummy server: the port's lifetime, notes from jack_midiseq, controllers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "apps/kelvarin/main_midi.hpp"
#include "apps/kelvarin/synth.hpp"
#include "tests/midi/jack_client.hpp"
#include "tests/support/servers.hpp"

namespace {

bool has_port(const jack_server& server, const std::string& port) {
  std::vector<std::string> ports = server.ports();
  return std::find(ports.begin(), ports.end(), port) != ports.end();
}

template <class F>
bool eventually(F condition, double seconds = 10.0) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(MidiJack, PortExistsFromCommitUntilFinish) {
  jack_server server("midi-port");
  ASSERT_TRUE(server.ready());
  midi_io* io = kelvarin_midi_define();
  ASSERT_NE(io, nullptr);
  ASSERT_EQ(io->backend, MIDI_BACKEND_JACK);
  EXPECT_STREQ(midi_io_client_name(io), "vorn");
  EXPECT_FALSE(has_port(server, "vorn:kelvarin"));
  kelvarin_midi_commit(io);
  EXPECT_TRUE(has_port(server, "vorn:kelvarin"));
  std::string type = run_command("jack_lsp -t vorn:kelvarin 2>/dev/null");
  EXPECT_NE(type.find("midi"), std::string::npos) << type;
  kelvarin_midi_finish(&io);
  EXPECT_EQ(io, nullptr);
  EXPECT_TRUE(eventually([&] { return !has_port(server, "vorn:kelvarin"); }));
  std::string clients = run_command("jack_lsp 2>/dev/null");
  EXPECT_EQ(clients.find("vorn:"), std::string::npos) << clients;
}

TEST(MidiJack, JackMidiseqPlaysTheOscillator) {
  jack_server server("midi-seq");
  ASSERT_TRUE(server.ready());
  oscs_make();
  midi_io* io = kelvarin_midi_define();
  kelvarin_midi_commit(io);
  testing::internal::CaptureStdout();
  // One 62 on channel 0 every quarter second, a 50 ms note.
  child_process seq({"jack_midiseq", "kv-seq", "11025", "0", "62", "2205"}, server.env());
  ASSERT_TRUE(eventually([&] { return has_port(server, "kv-seq:out"); }));
  int status = -1;
  run_command("jack_connect kv-seq:out vorn:kelvarin", &status);
  EXPECT_EQ(status, 0);
  bool played = eventually([] { return load_relaxed(synth().oscs[0].note) == 62.0f; });
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  kelvarin_midi_finish(&io);  // joins the thread: every line is printed by now
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(played);
  EXPECT_NE(out.find("received note on: 62 64 on channel 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("received note off: 62 on channel 0\n"), std::string::npos) << out;
}

TEST(MidiJack, ControllersFromAClientMoveTheRecord) {
  jack_server server("midi-cc");
  ASSERT_TRUE(server.ready());
  oscs_make();
  midi_io* io = kelvarin_midi_define();
  kelvarin_midi_commit(io);
  midi_sender sender("kv-ctl");
  ASSERT_TRUE(sender.ok());
  sender.queue({0xB1, 7, 127});   // voice 1 volume 1
  sender.queue({0xB1, 10, 0});    // voice 1 pan left
  sender.queue({0xE1, 0, 64});    // a bend between them hides nothing
  sender.queue({0xB2, 48, 13});   // oscillator 2 kind 1
  sender.queue({0xB2, 49, 4});    // oscillator 2 divisor 2
  sender.queue({0xB3, 61, 127});  // cell [3][1] amount +1
  sender.queue({0xB3, 60, 25});   // cell [3][1] type 5
  sender.queue({0x94, 70, 1});    // note 70 on voice 4
  ASSERT_TRUE(sender.start_and_connect("vorn:kelvarin"));
  testing::internal::CaptureStdout();
  sender.send_up_to(8);
  const synth_state& s = synth();
  bool moved = eventually([&] { return load_relaxed(s.oscs[4].note) == 70.0f; });
  kelvarin_midi_finish(&io);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(moved) << out;
  EXPECT_EQ(s.voices[1].volume, 1.0f);
  EXPECT_EQ(s.voices[1].pan, -1.0f);
  EXPECT_EQ(s.oscs[2].kind, 1);
  EXPECT_EQ(s.oscs[2].divisor, 2.0f);
  EXPECT_EQ(s.cells[3][1].amount, 1.0f);
  EXPECT_EQ(s.cells[3][1].type, 5);
  EXPECT_EQ(out,
            "received cc 7 127 on channel 1\n"
            "received cc 10 0 on channel 1\n"
            "received cc 48 13 on channel 2\n"
            "received cc 49 4 on channel 2\n"
            "received cc 61 127 on channel 3\n"
            "modmatrix 3 1 = 1 127\n"
            "received cc 60 25 on channel 3\n"
            "modmatrix 3 1 = 0 25\n"
            "received note on: 70 1 on channel 4\n");
}

// A server that goes away while the port is up: delivery stops and finish still returns.
TEST(MidiJack, ServerGoingAwayLeavesFinishWorking) {
  auto server = std::make_unique<jack_server>("midi-gone");
  ASSERT_TRUE(server->ready());
  midi_io* io = kelvarin_midi_define();
  ASSERT_EQ(io->backend, MIDI_BACKEND_JACK);
  kelvarin_midi_commit(io);
  server.reset();
  auto finished = std::async(std::launch::async, [&] { kelvarin_midi_finish(&io); });
  ASSERT_EQ(finished.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(io, nullptr);
}

}  // namespace
