#pragma once

#include <cstdint>

#include <QString>

namespace koravel::config {

// One stored setting as the store keeps it: plain text, an integer (a registry DWORD, or
// a typed value in a settings file), or any other kind (a list, bytes, a point).
struct StoredValue {
    enum class Kind { Text, Integer, Other };
    Kind kind = Kind::Text;
    QString text;
    std::int64_t number = 0;
};

}  // namespace koravel::config
