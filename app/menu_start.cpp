#include "app/menu_start.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace koravel::app {

QString SampleDivisionTable() {
    // Windows: beside the program; an install under any prefix: PREFIX/share/koravel;
    // then the system's data folders (XDG_DATA_DIRS).
    const QString programDir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {programDir + QStringLiteral("/data.ini"),
                                     programDir + QStringLiteral("/../share/koravel/data.ini")}) {
        if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  QStringLiteral("koravel/data.ini"));
}

QString EnterMenuFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath() + QStringLiteral("/Documents");
    const QString folder = QDir(documents).filePath(QStringLiteral("Koravel"));

    const bool created = !QFileInfo::exists(folder) && QDir().mkpath(folder);
    if (created) {
        // QFile::copy never overwrites, so a data.ini put there meanwhile stays.
        const QString sample = SampleDivisionTable();
        if (!sample.isEmpty()) {
            const QString copy = QDir(folder).filePath(QStringLiteral("data.ini"));
            if (QFile::copy(sample, copy))
                QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther);
        }
    }
    return QDir::setCurrent(folder) ? folder : QString();
}

}  // namespace koravel::app
