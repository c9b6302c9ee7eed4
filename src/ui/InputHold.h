#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QEvent;
class QWidget;

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

    // Input to `widget` passes, and so does closing it: the one control the work offers (a
    // progress window's cancel). So does input to a modal box the work raises meanwhile.
    void letThrough(QWidget *widget);
    // An attempt to close `window` is still dropped, but runs `attempted` from the event loop
    // soon after, so that the user can be asked what to do about the work.
    void onCloseAttempt(QWidget *window, std::function<void()> attempted);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool passes(QObject *watched) const;
    void closeAttempted();

    bool &m_busy;
    QPointer<QWidget> m_open;
    QPointer<QWidget> m_closing;
    std::function<void()> m_closeAttempted;
    bool m_closeQueued = false;
};
