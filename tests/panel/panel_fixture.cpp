// A test fixture with an Xvfb display, the panel's own resource folder and a panel window per test.
#include "tests/panel/panel_fixture.hpp"

#include <GL/freeglut.h>

#include <cstdlib>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"

namespace {

std::string folder;
xvfb_display* display = nullptr;

class PanelEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    char name[] = "/tmp/kv-panel-res-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    setenv("KELVARIN_RESOURCES", name, 1);
    display = new xvfb_display(1280, 800);
    oscs_make();
    modmatrix_make();
    kelvarin_ui_history_make(&oui_history);
  }
  void TearDown() override {
    if (glutGet(GLUT_INIT_STATE)) glutExit();  // let go of the display before it goes away
    delete display;
    std::system(("rm -rf " + folder).c_str());
  }
};
const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new PanelEnvironment);

}  // namespace

const std::string& resources() { return folder; }
xvfb_display& panel_display() { return *display; }

void PanelFixture::SetUp() {
  ASSERT_TRUE(display && display->ready());
  window = std::make_unique<panel_window>();
}

void panel_fresh_state() {
  oscs_make();
  modmatrix_make();
  current_slot = 0;
  oui.saving = 0;
  oui.message = nullptr;
  visuals_p = 0;
  oui.outer.scroll = oui.osc_stack.scroll = 0.0f;
}
