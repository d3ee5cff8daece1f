#pragma once

#include <cstdint>
#include <system_error>
#include <utility>

namespace koravel::common {

// The one owner of an open file: a descriptor on POSIX, a HANDLE on Windows (both -1 when
// there is none). Moving hands it on; destroying closes it, silently: call close() where
// a failed close matters.
class UniqueFd final {
public:
    using Native = std::intptr_t;

    UniqueFd() = default;
    explicit UniqueFd(Native fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    Native get() const { return m_fd; }
    explicit operator bool() const { return m_fd != -1; }
    Native release() { return std::exchange(m_fd, -1); }
    void reset(Native fd = -1);
    // Closes now. An interrupted close has still closed the file and counts as done.
    std::error_code close();

private:
    Native m_fd = -1;
};

}  // namespace koravel::common
