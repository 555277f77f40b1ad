// Wall-clock milliseconds: the one clock that time-stamps every audio and display frame.
#pragma once

double get_milliseconds();
double get_milliseconds_in_unix();
