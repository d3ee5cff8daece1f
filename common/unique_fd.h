#pragma once

#include <utility>

namespace koravel::common {

// The one owner of a file descriptor (a C runtime descriptor on Windows). Moving hands
// it on; destroying closes it, silently: call close() where a failed close matters.
class UniqueFd final {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1);
    // Closes now; 0, or the error number of a close that failed. An interrupted close
    // has still closed the descriptor and counts as done.
    int close();

private:
    int m_fd = -1;
};

}  // namespace koravel::common
