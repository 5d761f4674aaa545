#include <windows.h>

#include "about_box.hpp"

namespace bleepforge {

void show_about_box() {
    MessageBoxA(nullptr, about_text, about_caption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace bleepforge
