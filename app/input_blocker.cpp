#include "app/input_blocker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace koravel::app {

namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            return true;
        default:
            return false;
    }
}

}  // namespace

InputBlocker::InputBlocker(QWidget* window, const QList<QWidget*>& open) : m_window(window) {
    for (QWidget* widget : open) m_open.append(widget);
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker() { QCoreApplication::instance()->removeEventFilter(this); }

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type()) || !watched->isWidgetType()) return false;
    const auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != m_window) return false;
    for (const QPointer<QWidget>& open : m_open)
        if (open && (widget == open || open->isAncestorOf(widget))) return false;
    return true;
}

}  // namespace koravel::app
