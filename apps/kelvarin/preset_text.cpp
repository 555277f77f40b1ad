// Readable preset sources: a table of every field with its name, kind and place, dumped and parsed.
#include "apps/kelvarin/preset_text.hpp"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <utility>

#include "apps/kelvarin/oscillators.hpp"

namespace {

enum class field_kind { i32, u16, u64, f32, f64, waveform, modulation, frame_type, frame_function };

struct field {
  std::string name;
  field_kind kind;
  void* place;  // bytes of the image; fields of the packed record are copied, never referenced
};

using visitor = std::function<void(const field&)>;

void private_visit_osc(osc& o, const std::string& at, const visitor& v) {
  v({at + "kind", field_kind::waveform, &o.kind});
  v({at + "note", field_kind::f32, &o.note});
  v({at + "divisor", field_kind::f32, &o.divisor});
  v({at + "p1", field_kind::f32, &o.p1});
  v({at + "p2", field_kind::f32, &o.p2});
  v({at + "phase", field_kind::f64, &o.phase});
  v({at + "started", field_kind::i32, &o.started});
  for (const char* which : {"fm_saw", "fm_square"}) {
    fm_synth& fs = std::strcmp(which, "fm_saw") == 0 ? o.fm_saw : o.fm_square;
    std::string f = at + which + ".";
    v({f + "type", field_kind::i32, &fs.type});
    v({f + "increment", field_kind::f32, &fs.increment});
    v({f + "phase", field_kind::f32, &fs.phase});
  }
  v({at + "lsfr", field_kind::u16, &o.lsfr.reg});
  v({at + "reserved0", field_kind::u16, &o.reserved0});
  v({at + "reserved1", field_kind::u64, &o.reserved1});
  v({at + "random_value", field_kind::f32, &o.random_value});
  v({at + "ar.stage", field_kind::i32, &o.area.ar.stage});
  v({at + "ar.timer", field_kind::f32, &o.area.ar.timer});
  v({at + "ar.level", field_kind::f32, &o.area.ar.level});
  v({at + "euclid.pattern", field_kind::u64, &o.area.rhythm.euclid.pattern});
  v({at + "euclid.steps", field_kind::i32, &o.area.rhythm.euclid.steps});
  static const std::pair<const char*, float blit::*> blit_fields[] = {
      {"phase", &blit::phase}, {"a", &blit::a}, {"increment", &blit::increment}, {"period", &blit::period},
      {"harmonics", &blit::harmonics}, {"a_k", &blit::a_k}, {"a_k_m", &blit::a_k_m}};
  for (const auto& [name, member] : blit_fields) v({at + "blit." + name, field_kind::f32, &(o.blit.*member)});
  static const std::pair<const char*, float leaky_lp::*> lp_fields[] = {
      {"c", &leaky_lp::c}, {"g", &leaky_lp::g}, {"x1", &leaky_lp::x1}, {"y1", &leaky_lp::y1}};
  for (const auto& [name, member] : lp_fields) v({at + "blit_lp." + name, field_kind::f32, &(o.blit_lp.*member)});
  for (int i = 0; i < 8; ++i) v({at + "memory." + std::to_string(i), field_kind::f32, &o.memory[i]});
}

void private_visit_voice(voice_params& w, const std::string& at, const visitor& v) {
  static const std::pair<const char*, float voice_params::*> fields[] = {
      {"volume", &voice_params::volume}, {"pan", &voice_params::pan},
      {"delay_feedback", &voice_params::delay_feedback}, {"delay_wet", &voice_params::delay_wet},
      {"delay_time", &voice_params::delay_time}, {"lp_cutoff", &voice_params::lp_cutoff},
      {"lp_resonance", &voice_params::lp_resonance}, {"hp_cutoff", &voice_params::hp_cutoff},
      {"hp_resonance", &voice_params::hp_resonance}};
  for (const auto& [name, member] : fields) v({at + name, field_kind::f32, &(w.*member)});
  for (int i = 0; i < 15; ++i) v({at + "reserved." + std::to_string(i), field_kind::f32, &w.reserved[i]});
}

void private_visit(preset_image& p, const visitor& v) {
  for (int n = 0; n < 8; ++n) private_visit_osc(p.synth.oscs[n], "osc." + std::to_string(n) + ".", v);
  for (int n = 0; n < 8; ++n) private_visit_voice(p.synth.voices[n], "voice." + std::to_string(n) + ".", v);
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      mod_cell& cell = p.synth.cells[r][c];
      std::string at = "cell." + std::to_string(r) + "." + std::to_string(c) + ".";
      v({at + "type", field_kind::modulation, &cell.type});
      v({at + "amount", field_kind::f32, &cell.amount});
      v({at + "divisor", field_kind::f32, &cell.divisor});
      v({at + "value", field_kind::f32, &cell.value});
      v({at + "wrapped", field_kind::i32, &cell.wrapped});
    }
  }
  v({"fade", field_kind::f32, &p.synth.fade});
  for (int j = 0; j < VFX_LAYERS; ++j) {
    for (int l = 0; l < VFX_LAYERS; ++l) {
      vfx_cell& x = p.layers[j][l];
      std::string at = "vfx.cell." + std::to_string(j) + "." + std::to_string(l) + ".";
      v({at + "on", field_kind::i32, &x.on});
      v({at + "self", field_kind::i32, &x.self});
      v({at + "scale", field_kind::f32, &x.scale});
      v({at + "rotate_z", field_kind::f32, &x.rotate_z});
      v({at + "rotate_x", field_kind::f32, &x.rotate_x});
    }
  }
  for (int voice = 0; voice < 8; ++voice) {
    for (int l = 0; l < VFX_LAYERS; ++l) {
      frame_modulation& e = p.entries[voice][l];
      std::string at = "vfx.mod." + std::to_string(voice) + "." + std::to_string(l) + ".";
      v({at + "type", field_kind::frame_type, &e.type});
      v({at + "function", field_kind::frame_function, &e.function});
      v({at + "amount", field_kind::f32, &e.amount});
      v({at + "divisor", field_kind::f32, &e.divisor});
      v({at + "value", field_kind::f32, &e.value});
      v({at + "trigger", field_kind::i32, &e.trigger});
    }
  }
}

template <class T>
T private_get(const void* place) {
  T value;
  std::memcpy(&value, place, sizeof value);
  return value;
}

template <class T>
void private_set(void* place, T value) {
  std::memcpy(place, &value, sizeof value);
}

const char* private_name_of(field_kind kind, int32_t code) {
  switch (kind) {
    case field_kind::waveform: return osc_waveform_as_string(code);
    case field_kind::modulation: return osc_modulation_type_as_string(code);
    case field_kind::frame_type: return osc_frame_modulation_type_as_string(code);
    default: return osc_frame_function_as_string(code);
  }
}

int32_t private_code_count(field_kind kind) {
  switch (kind) {
    case field_kind::waveform: return 12;
    case field_kind::modulation: return 10;
    case field_kind::frame_type: return 7;
    default: return 4;
  }
}

std::string private_format(const field& f) {
  char text[64];
  switch (f.kind) {
    case field_kind::i32: std::snprintf(text, sizeof text, "%" PRId32, private_get<int32_t>(f.place)); break;
    case field_kind::u16: std::snprintf(text, sizeof text, "0x%04X", unsigned(private_get<uint16_t>(f.place))); break;
    case field_kind::u64: std::snprintf(text, sizeof text, "0x%016" PRIX64, private_get<uint64_t>(f.place)); break;
    case field_kind::f32: std::snprintf(text, sizeof text, "%.9g", double(private_get<float>(f.place))); break;
    case field_kind::f64: std::snprintf(text, sizeof text, "%.17g", private_get<double>(f.place)); break;
    default: {
      int32_t code = private_get<int32_t>(f.place);
      const char* name = private_name_of(f.kind, code);
      if (std::strcmp(name, "unk") == 0) {
        std::snprintf(text, sizeof text, "%" PRId32, code);
      } else {
        std::snprintf(text, sizeof text, "%s", name);
      }
    }
  }
  return text;
}

bool private_parse_number(const std::string& text, field_kind kind, void* place) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  switch (kind) {
    case field_kind::f32: private_set(place, std::strtof(s, &end)); break;
    case field_kind::f64: private_set(place, std::strtod(s, &end)); break;
    case field_kind::u16: {
      unsigned long v = std::strtoul(s, &end, 0);
      if (v > 0xFFFF) return false;
      private_set(place, uint16_t(v));
      break;
    }
    case field_kind::u64: private_set(place, uint64_t(std::strtoull(s, &end, 0))); break;
    default: {
      long long v = std::strtoll(s, &end, 0);
      if (v < INT32_MIN || v > INT32_MAX) return false;
      private_set(place, int32_t(v));
    }
  }
  // Underflow to a subnormal is a value like any other (overlapping fields print their bits as floats).
  bool underflow = errno == ERANGE && (kind == field_kind::f32 || kind == field_kind::f64) &&
                   std::isfinite(kind == field_kind::f32 ? double(private_get<float>(place)) : private_get<double>(place));
  return (errno == 0 || underflow) && end != s && *end == '\0';
}

bool private_parse_value(const field& f, const std::string& text) {
  bool named = f.kind == field_kind::waveform || f.kind == field_kind::modulation ||
               f.kind == field_kind::frame_type || f.kind == field_kind::frame_function;
  if (named) {
    for (int32_t code = 0; code < private_code_count(f.kind); ++code) {
      if (text == private_name_of(f.kind, code)) {
        private_set(f.place, code);
        return true;
      }
    }
    return private_parse_number(text, field_kind::i32, f.place);
  }
  return private_parse_number(text, f.kind, f.place);
}

std::string private_trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

}  // namespace

void preset_image_defaults(preset_image* p) {
  oscs_make();
  std::memcpy(&p->synth, &synths[0], sizeof p->synth);
  for (osc& o : p->synth.oscs) {
    o.fm_saw.operators = {};
    o.fm_square.operators = {};
  }
  modmatrix_make();
  std::memcpy(p->layers, modmatrix, sizeof p->layers);
  std::memcpy(p->entries, modmatrix_of, sizeof p->entries);
}

std::string preset_dump(const preset_image& p) {
  preset_image copy;
  std::memcpy(&copy, &p, sizeof copy);
  std::string out;
  private_visit(copy, [&](const field& f) { out += f.name + " = " + private_format(f) + "\n"; });
  return out;
}

bool preset_parse(preset_image* p, const std::string& text, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::string content = private_trim(line.substr(0, line.find('#')));
    if (content.empty()) continue;
    size_t equals = content.find('=');
    std::string name = private_trim(content.substr(0, equals));
    std::string value = equals == std::string::npos ? "" : private_trim(content.substr(equals + 1));
    bool known = false, valid = false;
    private_visit(*p, [&](const field& f) {
      if (known || f.name != name) return;
      known = true;
      valid = private_parse_value(f, value);
    });
    if (!known || !valid || equals == std::string::npos) {
      *error = "line " + std::to_string(number) + ": " +
               (equals == std::string::npos ? "expected `name = value`"
                : !known ? "unknown field `" + name + "`" : "bad value `" + value + "` for " + name);
      return false;
    }
  }
  return true;
}
