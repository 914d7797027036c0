#pragma once

#include <QObject>

class QWidget;

// Gives the operator window no close command of its own: the window is left
// through the exit command only, and never while the server runs (exit is
// disabled then), so clients are never dropped by a stray click on the title
// bar. The guard takes away the title bar's close button and, because a window
// manager may offer closing anyway (its own menu, Alt+F4), refuses every close
// request that comes from the window system.
//
// What is still let through:
// - a close the program asks for itself (QWidget::close(), and Qt's own
//   closing of all windows when the application quits); such close events are
//   not spontaneous;
// - any close once the desktop session ends (logging off, shutting down): the
//   session must not be held up, and the program ends without a word to the
//   clients, as it would at exit;
// - any close after the exit command.
class CloseGuard final : public QObject
{
    Q_OBJECT

public:
    // Installs itself on the window, which owns it from then on.
    explicit CloseGuard(QWidget &window);

    // The exit command was given.
    void allowClose() { m_allowed = true; }
    // The session manager asked the program to save its state before the
    // session ends; connected to the application, public for tests.
    void endOfSession() { m_allowed = true; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    bool m_allowed = false;
};
