// The resource directory on Linux: the folder "resources" beside the running executable, or the user's
// data folder when an installed program cannot write beside itself.
#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "apps/brightloom/env-all.hpp"

namespace fs = std::filesystem;

namespace {

// Resolved once from /proc/self/exe, so the working directory the program is started from does not
// matter. Falls back to "resources" relative to the working directory if the link cannot be read.
std::string private_beside_executable() {
  char exe[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return "resources";
  exe[n] = 0;
  char* slash = std::strrchr(exe, '/');
  if (!slash) return "resources";
  slash[1] = 0;
  return std::string(exe) + "resources";
}

// Every shipped file the user folder lacks is copied in (folders too); one already there is never
// replaced, so the performer's slots and playlist survive every start and every upgrade.
void private_seed(const fs::path& shipped, const fs::path& user) {
  std::error_code e;
  for (fs::recursive_directory_iterator it(shipped, e), end; !e && it != end; it.increment(e)) {
    fs::path target = user / fs::relative(it->path(), shipped, e);
    if (it->is_directory(e)) {
      fs::create_directories(target, e);
    } else if (!fs::exists(target, e)) {
      fs::copy_file(it->path(), target, e);
    }
  }
}

}  // namespace

std::string user_data_folder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/kelvarin";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  return home && *home ? std::string(home) + "/.local/share/kelvarin" : std::string();
}

std::string choose_resource_folder(const std::string& beside) {
  std::error_code e;
  if (!fs::is_directory(beside, e) || access(beside.c_str(), W_OK) == 0) return beside;
  std::string user = user_data_folder();
  if (user.empty() || (fs::create_directories(user, e), !fs::is_directory(user, e))) {
    std::printf("cannot make a data folder (%s): slots, playlist and recordings stay read-only in %s\n",
                user.empty() ? "no home folder" : user.c_str(), beside.c_str());
    return beside;
  }
  private_seed(beside, user);
  std::printf("slots, playlist and recordings live in %s\n", user.c_str());
  std::fflush(stdout);
  return user;
}

// KELVARIN_RESOURCES, when set and not empty, names another resource directory: tests and try-outs use
// it so they never write into a performer's slots.
const char* get_resource_path() {
  const char* chosen = std::getenv("KELVARIN_RESOURCES");
  if (chosen && *chosen) return chosen;
  static const std::string folder = choose_resource_folder(private_beside_executable());
  return folder.c_str();
}
