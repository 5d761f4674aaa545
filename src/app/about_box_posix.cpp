#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "about_box.hpp"
#include "run_program.hpp"

namespace bleepforge {
namespace {

bool env_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool show_graphical_box() {
    const std::string title_arg = std::string("--title=") + about_caption;
    const std::string text_arg = std::string("--text=") + about_text;
    const char* const zenity[] = {"zenity",          "--info",         "--no-markup",
                                  title_arg.c_str(), text_arg.c_str(), nullptr};
    const char* const kdialog[] = {"kdialog", "--title", about_caption, "--msgbox", about_text, nullptr};
    const char* const xmessage[] = {"xmessage", "-title",   about_caption, "-center",  "-buttons",
                                    "OK:0",     "-default", "OK",          about_text, nullptr};
    return run_program(zenity) || run_program(kdialog) || run_program(xmessage);
}

void put(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// The same box drawn as text on standard error, which keeps standard output clean.
void show_text_box() {
    put("+--- ");
    put(about_caption);
    put(" ---\n|\n| (i) ");
    std::string_view text = about_text;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        put(text.substr(0, end));
        put("\n|     ");
        text.remove_prefix(end + 1);
    }
    put(text);
    put("\n|\n|                  [ OK ]\n+---\n");
    std::fflush(stderr);

    const char* term = std::getenv("TERM");
    const bool interactive = isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0 &&
                             std::getenv("CI") == nullptr &&
                             (term == nullptr || std::strcmp(term, "dumb") != 0);
    if (interactive) {
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        }
    }
}

}  // namespace

void show_about_box() {
    if ((env_set("DISPLAY") || env_set("WAYLAND_DISPLAY")) && show_graphical_box()) {
        return;
    }
    show_text_box();
}

}  // namespace bleepforge
