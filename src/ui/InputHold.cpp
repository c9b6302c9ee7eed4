#include "ui/InputHold.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace {

// `widget` itself, a child of it (a button, its Esc shortcut) or its native window, which sees
// input and a close before the widget does.
bool isWithin(const QObject *watched, const QWidget *widget)
{
    if (!widget)
        return false;
    if (watched == widget->windowHandle())
        return true;
    for (const QObject *object = watched; object; object = object->parent())
        if (object == widget)
            return true;
    return false;
}

// Mouse, key, wheel, touch, tablet, context-menu and drop events.
bool isUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

InputHold::InputHold(bool &busy) : m_busy(busy)
{
    m_busy = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::instance()->installEventFilter(this);
}

InputHold::~InputHold()
{
    QCoreApplication::instance()->removeEventFilter(this);
    QGuiApplication::restoreOverrideCursor();
    m_busy = false;
}

void InputHold::letThrough(QWidget *widget)
{
    m_open = widget;
}

void InputHold::onCloseAttempt(QWidget *window, std::function<void()> attempted)
{
    m_closing = window;
    m_closeAttempted = std::move(attempted);
}

bool InputHold::passes(QObject *watched) const
{
    return isWithin(watched, m_open) || isWithin(watched, QApplication::activeModalWidget());
}

void InputHold::closeAttempted()
{
    // The window system's close reaches the native window first, a close() the widget: ask once.
    if (m_closeQueued || !m_closeAttempted)
        return;
    m_closeQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_closeQueued = false;
            m_closeAttempted();
        },
        Qt::QueuedConnection);
}

bool InputHold::eventFilter(QObject *watched, QEvent *event)
{
    const bool close = event->type() == QEvent::Close;
    if ((!close && !isUserInput(event)) || passes(watched))
        return false;
    if (close) {
        // The window must outlive the work it hosts.
        event->ignore();
        if (m_closing && (watched == m_closing || watched == m_closing->windowHandle()))
            closeAttempted();
    }
    return true;
}
