#pragma once

// Child processes for what would hang, needs another user, or needs mounts of its own.

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace koravel::testing {

// What `body` says, run in a child process that a hang cannot keep alive.
inline std::string InChild(const std::function<std::string()>& body, unsigned seconds = 20) {
    std::FILE* said = std::tmpfile();
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(seconds);
        const std::string words = body();
        ::_exit(std::fwrite(words.data(), 1, words.size(), said) != words.size() ||
                std::fflush(said) != 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::string heard(1 << 16, '\0');
    std::rewind(said);
    heard.resize(std::fread(heard.data(), 1, heard.size(), said));
    std::fclose(said);
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : heard;
}

// In a child: permission bits do not bind root, so root becomes the user nobody. Empty,
// or why it could not.
inline std::string DropRoot() {
    if (::geteuid() != 0) return {};
    return ::setgid(65534) == 0 && ::setuid(65534) == 0
               ? std::string()
               : std::string("setuid: ") + std::strerror(errno);
}

// In a child: a mount namespace of its own, where `folder` becomes a tmpfs of `bytes`
// (a user namespace lets an ordinary user do it). Empty, or why it could not.
inline std::string PrivateTmpfs(const std::filesystem::path& folder, std::size_t bytes) {
    if ((::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("no private mounts: ") + std::strerror(errno);
    const std::string size = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0)
        return std::string("no tmpfs: ") + std::strerror(errno);
    return {};
}

// Fills the file system of `folder` to its last bytes with a file of its own.
inline void FillUp(const std::filesystem::path& folder) {
    std::ofstream filler(folder / "filler", std::ios::binary);
    const std::string block(512, 'f');
    while (filler.write(block.data(), block.size())) {
    }
    filler.clear();
    for (int byte = 0; byte < 512 && filler.put('f').flush(); ++byte) {
    }
}

}  // namespace koravel::testing
