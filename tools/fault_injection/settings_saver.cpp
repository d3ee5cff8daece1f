// Saves the Proxy tab's settings as the window does when it closes, through the same
// session: koravel_settings_saver LOGIN. Says what failed and exits 1; a save whose
// values are in place but not made sure on disk is said, and exits 0.
#include <cstdio>

#include "app/session.h"

int main(int argc, char* argv[]) {
    if (argc != 2) return 2;
    const koravel::app::Session session;
    try {
        // The window shows a failed load at start and then leaves the file alone.
        if (session.settings().error) throw *session.settings().error;
        const auto saved = session.saveSettings({true, argv[1], "px", "127.0.0.1", "8080"});
        if (!saved.unsure.empty()) std::fprintf(stderr, "%s\n", saved.unsure.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
