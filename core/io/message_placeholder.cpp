#include "core/io/message_placeholder.h"

bool holdsMessagePlaceholder(const std::string& text) {
  for (const char* placeholder : {"%value%", "%option%", "%original_token%", "%canonical_option%",
                                  "%prefix%", "%invalid_line%"}) {
    if (text.find(placeholder) != std::string::npos) return true;
  }
  return false;
}

bool argumentsHoldMessagePlaceholder(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (holdsMessagePlaceholder(argv[i])) return true;
  }
  return false;
}
