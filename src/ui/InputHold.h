#pragma once

#include <QObject>

class QEvent;

// Holds the user's input while work runs with the event loop turning (a save that copies in
// slices, a wait for the player): the window repaints and the clock and the player report, but
// clicks, keys and a close are dropped, since a command run nested inside the work would act on
// its half-done state. The wait cursor says why. Everything is undone when the hold goes, however
// the work ends.
class InputHold : public QObject
{
public:
    // busy is true for as long as the hold lasts, so that code reached from a nested event can
    // tell.
    explicit InputHold(bool &busy);
    ~InputHold() override;

protected:
    // Mouse, key, wheel, touch, tablet, context-menu and drop events.
    static bool isUserInput(const QEvent *event);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool &m_busy;
};
