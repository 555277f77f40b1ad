// Parses the offline renderer's command line; every option is one table entry.
#include "apps/kelvarin/render_options.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "apps/kelvarin/synth.hpp"

const char* const RENDER_USAGE =
    "usage: kelvarin-render [--slot FILE] [--midi FILE] [--seconds S] [--float] OUT.wav\n"
    "  --slot FILE   crossfade into the preset stored in this slot file, as a slot press does\n"
    "  --midi FILE   play this MIDI file (format 0 or 1) from the first sounding block on\n"
    "  --seconds S   length of the file in seconds (default 10, or 2 past the MIDI file's last event;\n"
    "                the first 3 are silent, as on stage)\n"
    "  --float       write 32-bit float samples instead of 16-bit PCM\n";

namespace {

using option_apply = int (*)(render_options* o, const char* value, std::string* error);

int apply_slot(render_options* o, const char* value, std::string*) { return o->slot = value, 1; }
int apply_midi(render_options* o, const char* value, std::string*) { return o->midi = value, 1; }
int apply_float(render_options* o, const char*, std::string*) { return o->float_p = 1, 1; }
int apply_help(render_options* o, const char*, std::string*) { return o->help_p = 1, 1; }

int apply_seconds(render_options* o, const char* value, std::string* error) {
  char* end = nullptr;
  double s = std::strtod(value, &end);
  if (end == value || *end || !std::isfinite(s) || s <= 0.0 || s > RENDER_MAX_SECONDS) {
    *error = std::string("--seconds wants a number of seconds above 0 and at most 10800, not \"") + value + "\"";
    return 0;
  }
  o->seconds = s;
  o->seconds_p = 1;
  return 1;
}

struct option_entry {
  const char* name;
  int takes_value;
  option_apply apply;
};

constexpr option_entry OPTIONS[] = {
    {"--slot", 1, apply_slot},
    {"--midi", 1, apply_midi},
    {"--seconds", 1, apply_seconds},
    {"--float", 0, apply_float},
    {"--help", 0, apply_help},
    {"-h", 0, apply_help},
};

const option_entry* find_option(const char* name) {
  for (const option_entry& e : OPTIONS) {
    if (std::strcmp(e.name, name) == 0) return &e;
  }
  return nullptr;
}

}  // namespace

int render_options_parse(render_options* options, int argc, char** argv, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] == 0) {
      if (options->output) return *error = "only one output file", 0;
      options->output = arg;
      continue;
    }
    const option_entry* e = find_option(arg);
    if (!e) return *error = std::string("unknown option ") + arg, 0;
    if (e->takes_value && i + 1 >= argc) return *error = std::string(arg) + " wants a value", 0;
    if (!e->apply(options, e->takes_value ? argv[++i] : nullptr, error)) return 0;
  }
  if (!options->output && !options->help_p) return *error = "no output file", 0;
  return 1;
}

int64_t render_blocks(double seconds) {
  // A tolerance of a millionth of a block keeps 2.56 s (exactly 441 blocks) from becoming 442.
  return int64_t(std::ceil(seconds * double(SAMPLE_RATE) / 256.0 - 1e-6));
}
