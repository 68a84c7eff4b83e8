#pragma once
// Boost.ProgramOptions builds its error messages by substituting the offending text into a
// template, in a loop that never ends when that text itself holds the placeholder being replaced
// ("-r %value%" hangs the program). Every tool that parses options asks this first and refuses
// such input with a message of its own instead of the library's.

#include <string>

// True when `text` holds one of the library's message placeholders (%value%, %option%, ...).
bool holdsMessagePlaceholder(const std::string& text);

// True when any of the command-line arguments argv[1..argc-1] holds one.
bool argumentsHoldMessagePlaceholder(int argc, char** argv);
