// The instrument as a performer uses it: the editor build under Xvfb and JACK with the grid played by
// oscsend and watched with oscdump, then the default build replaying the recording, heard through jack_rec.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "tests/panel/panel_fixture.hpp"

namespace {

using namespace std::chrono_literals;
constexpr int window_x = 100, window_y = 100;  // where the instrument's window sits on a 1280 x 800 screen

void xdo(const std::string& args) { run_command("xdotool " + args); }
std::vector<std::string> instrument_ports(jack_server& jack) {
  std::vector<std::string> ports;
  for (int i = 0; i < 200 && ports.size() < 2; ++i) {
    ports.clear();
    for (const std::string& p : jack.ports())
      if (p.rfind("system:", 0) != 0) ports.push_back(p);
    std::this_thread::sleep_for(50ms);
  }
  return ports;
}

// Left channel of a recording of the instrument's output.
std::vector<float> record(jack_server& jack, double seconds) {
  std::vector<std::string> ports = instrument_ports(jack);
  if (ports.size() < 2) return {};
  std::string wav = resources() + "/rec-" + std::to_string(getpid()) + ".wav";
  child_process recorder({"jack_rec", "-f", wav, "-d", std::to_string(seconds), "-b", "32", ports[0], ports[1]},
                         jack.env());
  recorder.wait_exit(seconds + 20);
  SF_INFO info{};
  SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> s(size_t(info.frames) * 2), left;
  sf_readf_float(f, s.data(), info.frames);
  sf_close(f);
  std::remove(wav.c_str());
  for (size_t i = 0; i < s.size(); i += 2) left.push_back(s[i]);
  return left;
}

double rms(const std::vector<float>& s, double from, double to) {
  size_t a = size_t(std::max(0.0, from) * 44100), b = std::min(s.size(), size_t(to * 44100));
  double sum = 0;
  for (size_t i = a; i < b; ++i) sum += double(s[i]) * s[i];
  return b > a ? std::sqrt(sum / double(b - a)) : -1.0;
}

std::string program(const std::string& build) { return binary_dir() + "/bin/" + build; }

class Program : public PanelFixture {
 protected:
  void SetUp() override {
    PanelFixture::SetUp();
    jack = std::make_unique<jack_server>("panel-program");
    ASSERT_TRUE(jack->ready());
    panel_fresh_state();
  }
  void TearDown() override {
    jack.reset();
    PanelFixture::TearDown();
  }
  std::unique_ptr<child_process> start(const std::string& build) {
    std::vector<std::string> env = jack->env();
    env.push_back("KELVARIN_RESOURCES=" + resources());
    auto p = std::make_unique<child_process>(std::vector<std::string>{program(build)}, env);
    EXPECT_TRUE(p->wait_for_output("Status: Using GLEW", 30)) << p->output();
    return p;
  }
  int quit(child_process& p) {
    xdo("mousemove " + std::to_string(window_x + 300) + " " + std::to_string(window_y + 200) + " key Escape");
    return p.wait_exit(15);
  }
  std::unique_ptr<jack_server> jack;
};

}  // namespace

TEST_F(Program, GridRecordsSlotChangesAndTheDefaultBuildReplaysThem) {
  window.reset();
  synth().voices[0].volume = 0.2f;
  ASSERT_STREQ(slot_save(2), PRESET_SAVED);
  synth().voices[0].volume = 0.8f;
  ASSERT_STREQ(slot_save(5), PRESET_SAVED);
  event_array earlier{};
  *event_array_allocate(&earlier, 0) = {PLAYLIST_LOAD_SLOT, 500.0f, 3};
  ASSERT_TRUE(playlist_write(&earlier));
  array_reset(earlier);

  child_process leds({"oscdump", "-L", "8880"});
  std::this_thread::sleep_for(500ms);
  auto editor = start("kelvarin-editor");
  ASSERT_TRUE(leds.wait_for_output("/box/led iii 0 0 1", 15)) << leds.output();
  std::this_thread::sleep_for(4s);  // past the default build's title period in display time
  auto press = [](int x, int y) {
    run_command("oscsend localhost 7770 /box/press iii " + std::to_string(x) + " " + std::to_string(y) + " 1");
  };
  press(2, 0);
  ASSERT_TRUE(leds.wait_for_output("/box/led iii 2 0 1", 10)) << leds.output();
  std::this_thread::sleep_for(1500ms);
  press(5, 0);
  ASSERT_TRUE(leds.wait_for_output("/box/led iii 5 0 1", 10)) << leds.output();
  std::this_thread::sleep_for(2000ms);
  press(0, 1);
  event_array stored{};
  for (int i = 0; i < 300 && playlist_read(&stored) < 4; ++i) {
    array_reset(stored);
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(quit(*editor), 0);
  leds.stop();
  std::string out = leds.output();
  // Within one commit the LEDs go out in cell order, so slot 0's goes out just before slot 2's lights.
  EXPECT_NE(out.find("/box/led iii 0 0 0", out.find("/box/led iii 0 0 1")), std::string::npos);
  EXPECT_NE(out.find("/box/led iii 2 0 0", out.find("/box/led iii 2 0 1")), std::string::npos);

  ASSERT_EQ(event_array_length(&stored), 4);
  const playlist_event* e = event_array_get(&stored, 0);
  EXPECT_EQ(e[0].slot, 3) << "the events that were there come first";
  const int32_t kinds[3] = {PLAYLIST_LOAD_SLOT, PLAYLIST_LOAD_SLOT, PLAYLIST_END}, slots[2] = {2, 5};
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(e[i].kind, kinds[i - 1]) << i;
    if (i < 3) { EXPECT_EQ(e[i].slot, slots[i - 1]) << i; }
  }
  EXPECT_NEAR(e[2].time - e[1].time, 1500.0f, 700.0f);
  const float t2 = e[1].time / 1000.0f, t5 = e[2].time / 1000.0f, end = e[3].time / 1000.0f;
  ASSERT_GT(t2, 3.5f) << "recorded after the silent start";
  array_reset(stored);

  auto started = std::chrono::steady_clock::now();
  auto player = start("kelvarin");
  // The program's display clock starts once its window layer is up, which on a busy machine can be a
  // second or more after the process: the exit at the end event's display time tells how late it ran.
  int status = -1;
  double lifetime = -1.0;
  std::thread watcher([&] {
    status = player->wait_exit(60);
    lifetime = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  });
  std::vector<float> sound = record(*jack, end + 3.0);
  watcher.join();
  EXPECT_EQ(status, 0) << player->output();
  EXPECT_NE(player->output().find("quit"), std::string::npos);
  EXPECT_GT(lifetime, end - 0.2) << "the end event's time";
  EXPECT_LT(lifetime, end + 4.0);
  ASSERT_FALSE(sound.empty());
  const double late = std::min(std::max(lifetime - end, 0.0), 2.5);
  double slot_two = rms(sound, t2 + late + 0.3, t5 + late - 0.3);
  double slot_five = rms(sound, t5 + late + 0.3, end + late - 0.3);
  std::printf("replay rms: %.4f while slot 2 plays, %.4f while slot 5 plays (end at %.2f s, display clock %.2f s late)\n",
              slot_two, slot_five, end, late);
  EXPECT_GT(slot_two, 0.01);
  EXPECT_GT(slot_five, 2.0 * slot_two);
}
