// The shipped demo as a user sees it, on a JACK dummy server and an Xvfb display: the screen read twice a
// second from the end of the title to the end of the performance never stays black. Each slot's screens
// are summed up and printed; whether they differ is checked at steady frame rates by demo_frames_test,
// since how white a slot washes out here depends on how fast the shared machine draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/acceptance/observe.hpp"
#include "tests/shipping/screen_measure.hpp"
#include "tests/support/servers.hpp"

namespace {

using clock_type = std::chrono::steady_clock;
double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

// The shipped playlist: slot n loads at 3.5 + 7 n seconds, the end comes at 60 s.
constexpr double first_load = 3.5, load_step = 7.0, title_end = 3.0, demo_end = 60.0;

}  // namespace

TEST(DemoVisuals, TheShippedDemoNeverStaysBlack) {
  xvfb_display display(1280, 800);
  ASSERT_TRUE(display.ready());
  jack_server jack("demo-visuals");
  ASSERT_TRUE(jack.ready());
  scratch_resources folder;  // the slots and playlist as built from the sources in this tree
  run_command("cp '" + binary_dir() + "/presets/'* '" + folder.path() + "/'");

  auto started = clock_type::now();
  child_process player({"env", "KELVARIN_RESOURCES=" + folder.path(), program("kelvarin")});
  ASSERT_TRUE(player.wait_for_output("Status: Using GLEW", 30)) << player.output();
  std::vector<screen_measure> screens;
  std::vector<double> seconds;
  while (seconds_since(started) < title_end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (double next = seconds_since(started); player.running(); next += 0.5) {
    while (seconds_since(started) < next) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    double at = seconds_since(started);
    picture shot = grab(display.name(), 100, 100, 904, 509);  // the window, as in the other acceptance runs
    if (shot.empty() || !player.running()) break;
    screens.push_back(screen_measure::of(shot.rgb.data(), shot.width, shot.height, 3));
    seconds.push_back(at);
  }
  EXPECT_EQ(player.wait_exit(30), 0) << player.output();

  double longest = longest_dark(screens, seconds);
  std::printf("%zu screens from %.1f s to %.1f s, longest dark stretch %.1f s, dark at", screens.size(),
              seconds.empty() ? 0 : seconds.front(), seconds.empty() ? 0 : seconds.back(), longest);
  for (size_t i = 0; i < screens.size(); ++i)
    if (screens[i].dark()) std::printf(" %.1f", seconds[i]);
  std::printf("\n");
  double widest = 0;  // screens come every half second, or as fast as the shared machine grabs them
  for (size_t i = 1; i < seconds.size(); ++i) widest = std::max(widest, seconds[i] - seconds[i - 1]);
  ASSERT_GT(screens.size(), 20u);
  EXPECT_GT(seconds.back(), demo_end - 2.0);
  EXPECT_LE(widest, 1.5) << "screens close enough together to see a black stretch";
  EXPECT_LE(longest, 1.5);

  // Each slot from 1.5 s after its load (the program's clock runs a little ahead of the display's) to
  // the next load.
  screen_measure slots[8];
  for (int s = 0; s < 8; ++s) {
    double from = first_load + s * load_step + 1.5, to = first_load + (s + 1) * load_step;
    int n = 0;
    for (double t : seconds) n += t >= from && t < to;
    for (size_t i = 0; i < screens.size(); ++i)
      if (seconds[i] >= from && seconds[i] < to) slots[s].add(screens[i], 1.0 / std::max(1, n));
    std::printf("slot %d (%d screens): mean %5.1f, lit %.2f, histogram", s, n, slots[s].mean, slots[s].lit);
    for (double h : slots[s].hist) std::printf(" %.2f", h);
    std::printf("\n");
  }
}
