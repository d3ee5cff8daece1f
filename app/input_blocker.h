#pragma once

#include <QObject>

class QWidget;

namespace koravel::app {

// While alive, mouse, key and wheel input addressed to `window` (or any widget inside
// it) is dropped, not deferred: an event loop that excludes user input would replay it once
// the scan ends. Other top-level windows, such as a message box, are not affected.
class InputBlocker final : public QObject {
public:
    explicit InputBlocker(QWidget* window);
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
};

}  // namespace koravel::app
