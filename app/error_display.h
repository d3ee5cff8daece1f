#pragma once

#include <exception>
#include <string>

#include <QString>

class QWidget;

namespace koravel::app {

// The caption of the default error display: the program file's name up to its first
// ".", a capital, then lower case ("koravel" -> "Koravel").
QString ErrorTitle(const QString& programFileName);

// The message (UTF-8) as shown: its first 1,000 characters ("…" marks a cut), "."
// appended when its last character sorts after ".".
QString ErrorText(const std::string& message);

// A stop-icon message box with one OK button over `parent`, shown without waiting for
// the answer and never modal; `detail` (such as the file) goes under the message. A box
// without a parent outlives a closed window and keeps the program running until it is
// answered.
void ShowDefaultError(QWidget* parent, const std::string& message, const QString& detail = {});

// The window's one catch boundary: runs `handler` so that no exception leaves it; what
// it throws goes to the default error display. Qt slots must never throw.
template <class Handler>
void Guarded(QWidget* parent, Handler&& handler) noexcept {
    std::string message;
    try {
        handler();
        return;
    } catch (const std::exception& error) {
        message = error.what();
    } catch (...) {
        message = "Unknown error";
    }
    ShowDefaultError(parent, message);
}

}  // namespace koravel::app
