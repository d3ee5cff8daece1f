#include "app/error_display.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "app/qt_text.h"

namespace koravel::app {

QString ErrorTitle(const QString& programFileName) {
    QString name = programFileName.section(QLatin1Char('.'), 0, 0);
    if (name.isEmpty()) return name;
    // Programs here are named in lower case; the title keeps the capital a Windows
    // build's "Koravel.exe" shows.
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString ErrorText(const std::string& message) {
    // A box laying out megabytes of text would freeze the window.
    constexpr qsizetype kShownCharacters = 1000;
    const QString whole = FromUtf8(message);
    QString text = whole.left(kShownCharacters);
    if (text.size() < whole.size()) text += QChar(0x2026);
    if (!whole.isEmpty() && whole.back() > QLatin1Char('.')) text += QLatin1Char('.');
    return text;
}

void ShowDefaultError(QWidget* parent, const std::string& message, const QString& detail) {
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    auto* box = new QMessageBox(QMessageBox::Critical, ErrorTitle(program), ErrorText(message),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("errorBox"));
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Never a Qt modal: Qt drops the window manager's close request for a window that a
    // modal box blocks, and closing must always work.
    box->setWindowModality(Qt::NonModal);
    box->show();
}

}  // namespace koravel::app
