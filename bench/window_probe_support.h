#pragma once

// What the window probes share: a data.ini of one division, the window over a loopback
// site, and a scan driven to its end whether Button1Click returns before it or after.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/form1.h"
#include "site/roster_request.h"

namespace koravel::bench {

inline void WriteDivision(const std::filesystem::path& work,
                          const std::vector<std::int32_t>& teamIds) {
    std::ofstream ini(work / "data.ini", std::ios::binary);
    ini << "[Bench]\r\n";
    for (std::size_t t = 0; t < teamIds.size(); ++t)
        ini << "team" << t + 1 << '=' << teamIds[t] << "\r\n";
}

// A private settings file that does not exist yet: no proxy, requests go straight to
// the site.
inline app::FormOptions WindowOptions(const std::filesystem::path& work, int port) {
    app::FormOptions options;
    options.settingsFile = QString::fromStdString((work / "kelvo.conf").string());
    options.workingDirectory = work;
    options.site = site::SiteAddress{"127.0.0.1", port};
    return options;
}

inline void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Picks the division and clicks "Клац"; returns when the scan is over, also when the
// scan runs on after Button1Click has returned.
inline void ScanToEnd(app::TForm1& form) {
    form.findChild<QComboBox*>(QStringLiteral("DivCombo"))->setCurrentIndex(0);
    form.Button1Click();
    if (!form.scanning()) return;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!form.scanning()) loop.quit();
    });
    poll.start(1);
    loop.exec();
}

// The box that is open, if any: the error box is modal, the failure box is a plain top
// level that the window's input blocker makes modal in effect.
inline QWidget* OpenBox() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && qobject_cast<QMessageBox*>(top) != nullptr) return top;
    return nullptr;
}

// Answers the box that is open, as a user would with OK; true when there was one.
inline bool AnswerBox() {
    QWidget* modal = OpenBox();
    if (modal == nullptr) return false;
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr)
        ok->click();
    else
        modal->close();
    return true;
}

}  // namespace koravel::bench
