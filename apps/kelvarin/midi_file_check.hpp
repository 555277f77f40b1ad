// A structural check of Standard MIDI File bytes, run before libsmf sees them (libsmf aborts on some cuts).
#pragma once
#include <cstdint>

// 1 when the header and every track chunk are whole: chunk lengths within the file, every event
// complete inside its track, running status only after a channel message, each track ending with an
// End Of Track event. Otherwise 0 and a sentence in `error` (at least 256 bytes).
int midi_file_check(const unsigned char* bytes, int32_t count, char* error);
