#pragma once

#include <QObject>

#include <functional>

class Channels;
class Operator;
class RosterModel;
class RosterUpkeep;
class TypedText;

// Where the server is in its life. It starts once and stops once; after the
// stop only the exit is left.
enum class ServerState { NotStarted, Running, Stopped };

// The life of the server: the load step, start, stop after the warning, and
// exit. Each entry point runs only from the state in which its command is
// offered, so a call that arrives late (a queued click, a second stop during
// the stop's own yields) does nothing.
class ServerLifecycle final : public QObject
{
    Q_OBJECT

public:
    using Terminate = std::function<void()>;

    // What the start reads and sets: the operator's nickname and the host
    // text (Txtnick and Text3).
    struct Inputs
    {
        TypedText &nickname;
        TypedText &host;
    };

    ServerLifecycle(Channels &channels, RosterModel &roster, RosterUpkeep &upkeep, Operator &desk,
                    Inputs inputs, QObject *parent = nullptr);

    ServerState state() const { return m_state; }

    void load();   // Form1 load step
    void start();  // Cmdconnct click and mnustart
    void stop();   // mnudisconnect
    void exit();   // mnuexit

    // How exit ends the process. Tests put a recorder in its place so that the
    // test program lives on.
    void setTerminate(Terminate terminate) { m_terminate = std::move(terminate); }

    // Ends the process at once; the default of setTerminate().
    [[noreturn]] static void endProcessNow();

signals:
    void stateChanged(ServerState state);
    // The exit command was given and the process ends right after this.
    void exiting();

private:
    void enter(ServerState state);
    void closeEveryElement();

    Channels &m_channels;
    RosterModel &m_roster;
    RosterUpkeep &m_upkeep;
    Operator &m_operator;
    Inputs m_inputs;
    Terminate m_terminate = &ServerLifecycle::endProcessNow;
    ServerState m_state = ServerState::NotStarted;
    bool m_stopping = false;
};
