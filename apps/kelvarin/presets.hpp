// Preset slots: the synthesizer record and the visuals' matrices saved to and loaded from chunk files.
#pragma once
#include <cstdint>

#include "apps/brightloom/iff32.hpp"
#include "apps/brightloom/stream.hpp"
#include "toolset/array.hpp"

// A slot file (slots 0..7, "virtual://root/save-N.dat") is 4756 bytes:
//   "RIFF" 4748 "KELV"
//     "KVSY" 3620 <synth_state>
//     "LIST" 1108 "VFX "
//       "VFX " 320 <modmatrix>      "VFX2" 768 <modmatrix_of>
// The sixteen operator-array headers of a saved record are written as zeros (they are run-time state).
constexpr int32_t SLOTS = 8;
constexpr int32_t SLOT_FILE_BYTES = 4756;
// Lists inside the visuals list are followed this many levels deep; deeper ones count as not applied.
constexpr int32_t VFX_LIST_DEPTH = 8;

// The messages the slot section shows after "MSG: ". Every function returns these very arrays, so a
// caller may compare pointers.
inline constexpr char PRESET_CANNOT_LOAD[] = "cannot load from file.";
inline constexpr char PRESET_LOADED[] = "loaded succesfully.";
inline constexpr char PRESET_INCOMPLETE[] = "incomplete load.";
inline constexpr char PRESET_CANNOT_SAVE[] = "cannot save to file.";
inline constexpr char PRESET_SAVED[] = "save succesfully.";

// The resolved path of a slot; 0 (and `out` empty) for a slot outside 0..7. The caller resets `out`.
int slot_filename(byte_array* out, int32_t slot);

// A "KVSY" chunk holding the front record as stored. Safe while the audio thread renders (read word by
// word). The caller deletes the chunk.
int synth_save(chunk* c);
// Only a "KVSY" chunk of exactly 3620 bytes is applied, into the back record: the back record keeps its
// own operator-array headers, every phase is carried over from the front record, fade is set to 0, and
// then the records flip, so the audio callback crossfades into the loaded sound. 1 if applied.
// Display thread only.
int synth_load(chunk* c);
// The "LIST"/"VFX " list holding "VFX " (modmatrix) and "VFX2" (modmatrix_of). 1 if both were written.
int vfx_save(list_chunk* l);
// "VFX " of 320 bytes -> modmatrix, "VFX2" of 768 bytes -> modmatrix_of, "LIST" -> its members (1 only
// when exactly two of them were applied). Anything else, or any other size: 0, nothing changed.
int vfx_load(chunk* c);

// Loads a slot file from any stream: every member of the outer list is offered to both loaders. Returns
// PRESET_CANNOT_LOAD (no chunk could be read), PRESET_LOADED (a record and at least one visuals chunk
// applied) or PRESET_INCOMPLETE (valid members were applied, something was missing).
const char* load(stream* s);

// The 4756 bytes a slot save writes, assembled in memory from the current state. 1 on success.
int slot_bytes(byte_array* out);
// What the slot button calls, on the display thread. Saving replaces the file atomically: a failed or
// interrupted save leaves the previous file complete. Loading opens the file read-only and never
// creates or changes it. Both return one of the messages above.
const char* slot_save(int32_t slot);
const char* slot_load(int32_t slot);
const char* slot_save_to(const char* path);
const char* slot_load_from(const char* path);

// Writes `size` bytes as the whole new content of `path`: a temporary file in the same folder is written,
// synced and renamed over `path` (the folder is synced too), so `path` always holds either its old
// content or all of the new. 1 on success; on failure the temporary file is removed.
int file_write_atomic(const char* path, const void* bytes, int64_t size);
