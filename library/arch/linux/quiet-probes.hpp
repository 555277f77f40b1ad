// Keeps alsa-lib's and libjack's messages off the terminal while devices are probed and afterwards.
#pragma once

// Probing ALSA devices that are not there and a JACK server that is not running are normal cases that
// these libraries report at length; the program says itself what it found. Safe to call more than once.
void linux_audio_quiet();
