// Readable preset sources: every field survives a dump and a parse, names are accepted, bad lines named.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "apps/kelvarin/preset_text.hpp"

TEST(PresetText, DumpThenParseRestoresEveryBitAndBadLinesAreNamed) {
  preset_image a, b;
  preset_image_defaults(&a);
  a.synth.oscs[3].kind = 9, a.synth.oscs[3].phase = 0.123456789012345, a.synth.oscs[5].note = -57.25f;
  a.synth.voices[2].reserved[7] = 1.0e-30f, a.synth.cells[1][6].type = 4, a.synth.cells[1][6].amount = std::nextafter(0.1f, 1.0f);
  a.synth.oscs[0].area.rhythm.euclid.pattern = 0x8000000000000001ull, a.layers[2][1].rotate_x = -0.25f, a.entries[7][3].function = 3;
  std::string text = preset_dump(a), error;
  std::memset(&b, 0x5A, sizeof b);
  ASSERT_TRUE(preset_parse(&b, text, &error)) << error;
  for (int n = 0; n < 8; ++n)  // the run-time operator headers are not part of a source
    a.synth.oscs[n].fm_saw.operators = b.synth.oscs[n].fm_saw.operators, a.synth.oscs[n].fm_square.operators = b.synth.oscs[n].fm_square.operators;
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  for (const char* line : {"osc.3.kind = bsw\n", "cell.1.6.type = frq\n", "vfx.mod.7.3.function = max\n"}) EXPECT_NE(text.find(line), std::string::npos) << line;
  preset_image_defaults(&b);
  ASSERT_TRUE(preset_parse(&b, "# a slow square\nosc.1.kind = squ   # feedback FM\n  voice.1.volume=0.75\ncell.0.1.type = 7\nvfx.mod.1.2.type = trg\n", &error)) << error;
  EXPECT_EQ(std::tuple(b.synth.oscs[1].kind, b.synth.voices[1].volume, b.synth.cells[0][1].type, b.entries[1][2].type, b.synth.oscs[2].note), std::tuple(3, 0.75f, 7, 4, 57.0f));
  const std::pair<const char*, const char*> bad[] = {{"osc.0.kind = saw\nosc.9.kind = saw\n", "line 2: unknown field `osc.9.kind`"},
      {"voice.0.volume = loud\n", "line 1: bad value `loud` for voice.0.volume"}, {"fade\n", "line 1: expected `name = value`"},
      {"osc.0.lsfr = 0x10000\n", nullptr}, {"osc.0.kind = 99999999999\n", nullptr}};
  for (auto [source, message] : bad) {
    EXPECT_FALSE(preset_parse(&b, source, &error)) << source;
    EXPECT_EQ(error, message ? message : error);
  }
}
