#include <QStandardPaths>

#include "config/settings_store.h"

namespace koravel::config {

SettingsStore SettingsStore::Native() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return SettingsStore(std::filesystem::path(folder.toStdString()) / "kelvo.conf");
}

}  // namespace koravel::config
