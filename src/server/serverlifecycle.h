#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class CloseGuard;
class Form1;
class RosterUpkeep;

// The life of the server inside the operator window: the load step, start,
// stop after the warning, and exit.
//
// The server's state is kept nowhere but in the window: Not started, Running
// and Stopped are told apart by the enabled flags of mnustart, mnudisconnect
// and mnuexit (and the listening elements). Each entry point runs only from
// the state in which its command is enabled, so a call that arrives late (a
// queued click, a second stop during the stop's own yields) does nothing.
class ServerLifecycle final : public QObject
{
    Q_OBJECT

public:
    using Terminate = std::function<void()>;

    ServerLifecycle(Form1 &window, RosterUpkeep &upkeep, QObject *parent = nullptr);

    void load();   // Form1 load step
    void start();  // Cmdconnct click and mnustart
    void stop();   // mnudisconnect
    void exit();   // mnuexit

    // How exit ends the process. Tests put a recorder in its place so that the
    // test program lives on.
    void setTerminate(Terminate terminate) { m_terminate = std::move(terminate); }

    // Ends the process at once; the default of setTerminate().
    [[noreturn]] static void endProcessNow();

private:
    void closeEveryElement();

    Form1 &m_window;
    RosterUpkeep &m_upkeep;
    QPointer<CloseGuard> m_closeGuard;
    Terminate m_terminate = &ServerLifecycle::endProcessNow;
    bool m_stopping = false;
};
