#pragma once

#include <exception>
#include <string>

#include <QString>

#include "common/code_page.h"

class QWidget;

namespace koravel::app {

// The caption of the default error display: the program file's name up to its first
// ".", a capital, then lower case ("koravel" -> "Koravel").
QString ErrorTitle(const QString& programFileName);

// The message as shown: its first 1,000 Windows-1251 bytes decoded ("…" marks a cut),
// "." appended when the message's last byte sorts after ".".
QString ErrorText(const std::string& message);

// A stop-icon message box with one OK button, modal to `parent` (to the whole program
// without one), opened without waiting for the answer. A box without a parent outlives
// a closed window and keeps the program running until it is answered.
void ShowDefaultError(QWidget* parent, const std::string& message);

// Runs `handler` so that no exception leaves it: the program's own errors and, as a
// last resort, any other exception go to the default error display. Qt slots must
// never throw.
template <class Handler>
void Guarded(QWidget* parent, Handler&& handler) noexcept {
    try {
        try {
            handler();
        } catch (const std::exception& error) {
            // Messages are UTF-8; the display expects Windows-1251.
            ShowDefaultError(parent, common::AnyTextToCp1251(error.what()));
        } catch (...) {
            ShowDefaultError(parent, "Unknown error");
        }
    } catch (...) {
        // Even the display failed (out of memory); there is nobody left to tell.
    }
}

}  // namespace koravel::app
