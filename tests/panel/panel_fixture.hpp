// A test fixture with an Xvfb display, the panel's own resource folder and a panel window per test.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/panel/panel_window.hpp"
#include "tests/support/servers.hpp"

// The resource folder of this process (resolved once, so chosen before the first test) and the display.
const std::string& resources();
xvfb_display& panel_display();
// The instrument state of this process put back as the program starts with it.
void panel_fresh_state();

class PanelFixture : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { window.reset(); }
  std::unique_ptr<panel_window> window;
};
