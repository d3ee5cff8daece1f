#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

namespace koravel::app {

// While alive, mouse, key and wheel input addressed to `window` (or any widget inside
// it) is dropped, not deferred: an event loop that excludes user input would replay it once
// the scan ends. Input to the `open` widgets (and their children) still passes, and so do
// shortcuts and other top-level windows, such as a message box. Close requests are never
// user input here: the window must always take them.
class InputBlocker final : public QObject {
    Q_OBJECT

public:
    InputBlocker(QWidget* window, const QList<QWidget*>& open);
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QList<QPointer<QWidget>> m_open;
};

}  // namespace koravel::app
