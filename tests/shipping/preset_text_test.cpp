// Readable preset sources: every field survives a dump and a parse, names are accepted, bad lines named.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "apps/kelvarin/preset_text.hpp"

TEST(PresetText, DumpThenParseRestoresEveryBit) {
  preset_image a;
  preset_image_defaults(&a);
  a.synth.oscs[3].kind = 9;
  a.synth.oscs[3].phase = 0.123456789012345;
  a.synth.oscs[5].note = -57.25f;
  a.synth.voices[2].reserved[7] = 1.0e-30f;
  a.synth.cells[1][6].type = 4;
  a.synth.cells[1][6].amount = std::nextafter(0.1f, 1.0f);
  a.synth.oscs[0].area.rhythm.euclid.pattern = 0x8000000000000001ull;
  a.layers[2][1].rotate_x = -0.25f;
  a.entries[7][3].function = 3;
  a.entries[7][3].trigger = 1;
  std::string text = preset_dump(a);
  preset_image b;
  std::memset(&b, 0x5A, sizeof b);
  std::string error;
  ASSERT_TRUE(preset_parse(&b, text, &error)) << error;
  for (int n = 0; n < 8; ++n) {  // the run-time operator headers are not part of a source
    a.synth.oscs[n].fm_saw.operators = b.synth.oscs[n].fm_saw.operators;
    a.synth.oscs[n].fm_square.operators = b.synth.oscs[n].fm_square.operators;
  }
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_NE(text.find("osc.3.kind = bsw\n"), std::string::npos);
  EXPECT_NE(text.find("cell.1.6.type = frq\n"), std::string::npos);
  EXPECT_NE(text.find("vfx.mod.7.3.function = max\n"), std::string::npos);
}

TEST(PresetText, SourcesNameWhatDiffersFromTheDefaults) {
  preset_image p;
  preset_image_defaults(&p);
  std::string error;
  ASSERT_TRUE(preset_parse(&p,
                           "# a slow square\n"
                           "osc.1.kind = squ   # feedback FM\n"
                           "  voice.1.volume=0.75\n"
                           "cell.0.1.type = 7\n"
                           "vfx.mod.1.2.type = trg\n",
                           &error))
      << error;
  EXPECT_EQ(p.synth.oscs[1].kind, 3);
  EXPECT_EQ(p.synth.voices[1].volume, 0.75f);
  EXPECT_EQ(p.synth.cells[0][1].type, 7);
  EXPECT_EQ(p.entries[1][2].type, 4);
  EXPECT_EQ(p.synth.oscs[2].note, 57.0f);  // untouched fields keep the instrument's defaults
}

TEST(PresetText, BadLinesAreNamed) {
  preset_image p;
  preset_image_defaults(&p);
  std::string error;
  EXPECT_FALSE(preset_parse(&p, "osc.0.kind = saw\nosc.9.kind = saw\n", &error));
  EXPECT_EQ(error, "line 2: unknown field `osc.9.kind`");
  EXPECT_FALSE(preset_parse(&p, "voice.0.volume = loud\n", &error));
  EXPECT_EQ(error, "line 1: bad value `loud` for voice.0.volume");
  EXPECT_FALSE(preset_parse(&p, "osc.0.lsfr = 0x10000\n", &error));
  EXPECT_FALSE(preset_parse(&p, "osc.0.kind = 99999999999\n", &error));
  EXPECT_FALSE(preset_parse(&p, "fade\n", &error));
  EXPECT_EQ(error, "line 1: expected `name = value`");
}
