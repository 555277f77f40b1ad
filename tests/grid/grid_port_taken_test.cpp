// When another program holds UDP port 7770 the instrument says so once, gets no grid input and still
// sends LEDs. Its own process, since the OSC server is made only once per process.
#include <gtest/gtest.h>

#include <array>

#include "apps/kelvarin/monome.hpp"
#include "tests/grid/osc_peers.hpp"

namespace {
size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}
}  // namespace

TEST(GridPortTaken, SaidOnceNoPressesLedsStillSent) {
  osc_dump squatter(monome_server_port);  // another program listening on 7770 first
  osc_dump leds(monome_led_port);
  ASSERT_TRUE(squatter.ready());
  ASSERT_TRUE(leds.ready());
  stdout_capture out;
  monome first, second;
  EXPECT_EQ(monome_make(&first, "/box"), 1);
  EXPECT_EQ(monome_make(&second, "/kv/other"), 1);
  EXPECT_EQ(count(out.text(), "grid input off: UDP port 7770 is taken; grid LEDs are still sent\n"), 1u);
  EXPECT_EQ(count(out.text(), "OSC server error "), 1u);  // the OSC library's own word for it, once
  EXPECT_NE(out.text().find(" in path (none): "), std::string::npos);

  ASSERT_EQ(osc_send(monome_server_port, "/box/press", "iii", "3 0 1"), 0);
  EXPECT_TRUE(squatter.wait_for("/box/press iii 3 0 1"));  // the press went to the other program
  monome_set_led(&first, 0, 3, 1);
  monome_commit(&first);
  monome_send(&first, "/mark", 1, 0, 0);
  ASSERT_TRUE(leds.wait_for("/box/mark iii 1 0 0"));
  std::vector<std::string> sent = with_prefix(leds.messages(), "/box/led");
  ASSERT_EQ(sent.size(), 65u);  // 64 off at make, then the one change
  EXPECT_EQ(sent.back(), "/box/led iii 3 0 1");
  monome_commit(&first);
  EXPECT_EQ(monome_button_down(&first, 0, 3), 0);
  monome_delete(&first);
  monome_delete(&second);
}
