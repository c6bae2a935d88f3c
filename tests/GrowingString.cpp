// A shared library for the freed-memory search's tests: its string grows
// in the C++ runtime's code, which frees the old buffer on the library's
// behalf.
#include <string>

extern "C" void growStringAroundText(const char* text) {
    std::string copy(text);
    copy.insert(0, "<<");
}
