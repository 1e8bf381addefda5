#pragma once

// The window part of the Linux program, libvelnor-window.so: Qt, the window and the platform.
// The program loads it only once no running copy has taken its command line, so a second start
// that hands over loads none of it.

// Runs the window for `commandLine` (the arguments joined by spaces) until it closes, and gives
// the exit status; argv[0] is all Qt sees of the command line.
extern "C" int velnor_window_main(char* argv[], const char16_t* commandLine);

inline constexpr char kWindowMainSymbol[] = "velnor_window_main";
