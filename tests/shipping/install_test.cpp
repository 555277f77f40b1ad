// Installing as a user installs: `cmake --install` into a scratch prefix, then the installed editor and
// demo run as an unprivileged user under Xvfb, keeping their files in that user's data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/acceptance/observe.hpp"
#include "tests/acceptance/screen_labels.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr int nobody = 65534;
const std::vector<std::string> programs = {"kelvarin", "kelvarin-editor", "kelvarin-plain", "kelvarin-render",
                                           "kelvarin-preset"};

std::string resolved(const std::string& path) {
  char out[PATH_MAX];
  return realpath(path.c_str(), out) ? std::string(out) : std::string();
}

class Install : public testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/kv-install-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    prefix = resolved(folder);
    chmod(prefix.c_str(), 0755);  // the user may enter, not write
    home = prefix + "/home";
    data = home + "/.local/share/kelvarin";
  }
  void TearDown() override { run_command("rm -rf '" + prefix + "'"); }

  // A program of the installed tree, run as the unprivileged user with its own HOME.
  std::unique_ptr<child_process> as_user(const std::string& name, const std::vector<std::string>& env) {
    std::vector<std::string> argv = {"setpriv", "--reuid", std::to_string(nobody), "--regid", std::to_string(nobody),
                                     "--clear-groups", "env", "-u", "KELVARIN_RESOURCES", "-u", "XDG_DATA_HOME",
                                     "HOME=" + home, "JACK_NO_START_SERVER=1"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(prefix + "/bin/" + name);
    return std::make_unique<child_process>(argv);
  }

  std::string prefix, home, data;
};

}  // namespace

TEST_F(Install, InstalledProgramsKeepTheUsersFilesInTheDataFolder) {
  int status = -1;
  std::string log = run_command("cmake --install '" + binary_dir() + "' --prefix '" + prefix + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  for (const std::string& p : programs) {
    EXPECT_EQ(access((prefix + "/lib/kelvarin/" + p).c_str(), X_OK), 0) << p;
    EXPECT_EQ(resolved(prefix + "/bin/" + p), prefix + "/lib/kelvarin/" + p) << "the link in bin";
  }
  const std::string shipped = prefix + "/lib/kelvarin/resources/";
  for (int slot = 0; slot < 8; ++slot)
    EXPECT_EQ(read_bytes(shipped + "save-" + std::to_string(slot) + ".dat"),
              read_bytes(binary_dir() + "/presets/save-" + std::to_string(slot) + ".dat"));
  EXPECT_GT(size_on_disk(shipped + "title.jpg"), 0);
  EXPECT_EQ(read_bytes(shipped + "playlist"), read_bytes(binary_dir() + "/presets/playlist"));
  std::string entry = read_bytes(prefix + "/share/applications/kelvarin.desktop");
  EXPECT_NE(entry.find("\nExec=" + prefix + "/bin/kelvarin\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=kelvarin\n"), std::string::npos) << entry;
  EXPECT_EQ(run_command("identify -format %m%wx%h '" + prefix + "/share/icons/hicolor/256x256/apps/kelvarin.png'"),
            "PNG256x256");

  // The package depends on the Debian package of every library the installed programs link.
  const std::string deb_dir = prefix + "/deb";
  log = run_command("cd '" + binary_dir() + "' && cpack -G DEB -B '" + deb_dir + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  std::string depends = run_command("dpkg-deb -f '" + deb_dir + "'/kelvarin_*.deb Depends");
  const std::string bin = "'" + prefix + "/lib/kelvarin/kelvarin'";
  std::string linked = run_command("for n in $(objdump -p " + bin + " | awk '/NEEDED/{print $2}'); do ldd " + bin +
                                   " | awk -v n=$n '$1==n{print $3}'; done | xargs -n1 realpath | "
                                   "xargs dpkg -S 2>/dev/null | cut -d: -f1 | sort -u");
  std::istringstream packages(linked);
  int count = 0;
  for (std::string package; packages >> package; ++count)
    EXPECT_NE(depends.find(package), std::string::npos) << package << " is linked; Depends: " << depends;
  EXPECT_GE(count, 8) << linked;
  run_command("rm -rf '" + deb_dir + "'");

  // The user's own short playlist is already there (slot 5, then the end): the first start must keep it.
  ASSERT_EQ(run_command("mkdir -p '" + data + "' && printf 'load 3500 5\\nend 6000\\n' > '" + prefix +
                        "/short.txt' && '" + program("kelvarin-preset") + "' playlist '" + prefix + "/short.txt' '" +
                        data + "/playlist' >/dev/null && chown -R " + std::to_string(nobody) + ":" +
                        std::to_string(nobody) + " '" + home + "'", &status), "");
  ASSERT_EQ(status, 0);
  const std::string short_playlist = read_bytes(data + "/playlist");

  xvfb_display x;
  ASSERT_TRUE(x.ready());
  screen_labels screen(x.name());
  auto editor = as_user("kelvarin-editor", screen.env());
  ASSERT_TRUE(editor->wait_for_output("Status: Using GLEW", 60)) << editor->output();
  ASSERT_TRUE(screen.find_window());
  ASSERT_TRUE(screen.click("saving?"));
  ASSERT_TRUE(screen.click("5"));
  EXPECT_NE(screen.find("MSG: save succesfully."), "") << editor->output();
  EXPECT_EQ(size_on_disk(data + "/save-5.dat"), 4756);
  screen.key("Escape");
  EXPECT_EQ(editor->wait_exit(30), 0);
  std::string said = "slots, playlist and recordings live in " + data + "\n", out = editor->output();
  EXPECT_NE(out.find(said), std::string::npos) << out;
  EXPECT_EQ(out.find(said), out.rfind(said)) << "said once";
  EXPECT_EQ(read_bytes(data + "/playlist"), short_playlist) << "a file already there is never replaced";
  for (int slot = 0; slot < 8; ++slot)
    EXPECT_EQ(size_on_disk(data + "/save-" + std::to_string(slot) + ".dat"), 4756) << "seeded slot " << slot;
  EXPECT_EQ(read_bytes(shipped + "save-5.dat"), read_bytes(binary_dir() + "/presets/save-5.dat"))
      << "nothing written beside the installed program";

  // The installed demo plays the user's playlist (the slot just saved, then the end) and ends with 0.
  auto demo = as_user("kelvarin", {"DISPLAY=" + x.name()});
  EXPECT_EQ(demo->wait_exit(60), 0) << demo->output();
  EXPECT_NE(demo->output().find("quit"), std::string::npos);
}
