#include "app/error_display.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "common/code_page.h"

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
    constexpr std::size_t kShownBytes = 1000;
    std::string text = message.substr(0, kShownBytes);
    if (text.size() < message.size()) text += "\x85";  // "…"
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += '.';
    return QString::fromStdString(common::Cp1251ToUtf8(text));
}

void ShowDefaultError(QWidget* parent, const std::string& message) {
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    auto* box = new QMessageBox(QMessageBox::Critical, ErrorTitle(program), ErrorText(message),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace koravel::app
