#pragma once

#include "net/channels.h"
#include "relay/messagerelay.h"
#include "relay/presencerelay.h"
#include "relay/typedtext.h"
#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"
#include "server/serverlifecycle.h"

#include <QObject>
#include <QTimer>

class EndpointFactory;
class Operator;
class Yield;

// The whole server without its window: the four channel pools, the roster
// with its upkeep, the relays that hold the channels' handlers, the server's
// life, and the texts the operator types. A window (or a test) shows what it
// tells its Operator, mirrors its state and texts, and gives it the
// operator's commands; nothing here knows how any of it looks.
class ServerCore final : public QObject
{
    Q_OBJECT

public:
    ServerCore(EndpointFactory &endpoints, Yield &yield, Operator &desk, QObject *parent = nullptr);
    ~ServerCore() override;

    Channels &channels() { return m_channels; }
    RosterModel &roster() { return m_roster; }
    RosterUpkeep &rosterUpkeep() { return m_upkeep; }
    ServerLifecycle &lifecycle() { return m_lifecycle; }
    ServerState state() const { return m_lifecycle.state(); }

    // Txtnick, Text3 and Text2.
    TypedText &nickname() { return m_nickname; }
    TypedText &host() { return m_host; }
    TypedText &line() { return m_line; }

    // The operator's commands.
    void start() { m_lifecycle.start(); }
    void stop() { m_lifecycle.stop(); }
    void exit() { m_lifecycle.exit(); }
    void send() { m_messages.send(m_nickname, m_line); }

private:
    Channels m_channels;
    TypedText m_nickname{QStringLiteral("SERVER")};
    TypedText m_host;
    TypedText m_line;
    RosterModel m_roster;
    RosterUpkeep m_upkeep{m_roster};
    MessageRelay m_messages;
    PresenceRelay m_presence;
    ServerLifecycle m_lifecycle;
    QTimer m_heapTrim;
};
