#pragma once

#include "fakedialogs.h"
#include "fuzzendpoint.h"

#include "net/channels.h"
#include "net/yield.h"
#include "relay/messagerelay.h"
#include "relay/presencerelay.h"
#include "roster/rosterupkeep.h"
#include "ui/transcript.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include "ui/transcriptview.h"
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

// A yield that runs what the program scheduled for it. Actions due by the
// current yield run in the order they were scheduled; an action may schedule
// more, and may yield itself.
class ScheduledYield final : public Yield
{
public:
    void operator()() override
    {
        ++count;
        while (!m_actions.empty() && m_actions.begin()->first <= count)
            runFirst();
    }
    void at(quint64 yieldNumber, std::function<void()> action)
    {
        m_actions.emplace(yieldNumber, std::move(action));
    }
    // Runs the earliest action still waiting, as the event loop finally would.
    bool runEarliest()
    {
        if (m_actions.empty())
            return false;
        runFirst();
        return true;
    }

    quint64 count = 0;

private:
    void runFirst()
    {
        auto action = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
        action();
    }

    std::multimap<quint64, std::function<void()>> m_actions;
};

// What the operator window wires together for the four data handlers and the
// roster upkeep, on fuzz endpoints; the timers never fire by themselves.
struct RelayRig
{
    explicit RelayRig(EndpointObserver &observer) : factory(observer)
    {
        Timer2.setSingleShot(true);
        Timer2.setInterval(2000);
        Txtnick.setText(QStringLiteral("SERVER"));
        QObject::connect(&channels.Winsock(), &SocketPool::dataArrival, &message,
                         &MessageRelay::dataArrival);
        QObject::connect(&channels.Winsock(), &SocketPool::socketError, &message,
                         [this](qint16, const Failure &failure) { message.socketError(failure); });
        QObject::connect(&channels.Winjoin(), &SocketPool::dataArrival, &presence,
                         &PresenceRelay::joinArrival);
        QObject::connect(&channels.Winusers(), &SocketPool::dataArrival, &presence,
                         &PresenceRelay::rosterArrival);
        QObject::connect(&channels.Winleft(), &SocketPool::dataArrival, &presence,
                         &PresenceRelay::leaveArrival);
    }

    SocketPool &pool(Channel channel)
    {
        switch (channel) {
        case Channel::Message: return channels.Winsock();
        case Channel::Roster: return channels.Winusers();
        case Channel::Join: return channels.Winjoin();
        case Channel::Leave: break;
        }
        return channels.Winleft();
    }
    FuzzEndpoint &element(Channel channel, int index)
    {
        return *static_cast<FuzzEndpoint *>(pool(channel).endpoint(index));
    }

    FuzzEndpointFactory factory;
    ScheduledYield yield;
    Channels channels{factory, yield};
    FakeDialogs dialogs;
    QWidget window;
    TranscriptView Text1{&window};
    QLineEdit Text2{&window};
    QLineEdit Txtnick{&window};
    QLineEdit Text4{&window};
    QListWidget List1{&window};
    QLabel Label4{&window};
    QTimer Timer1;
    QTimer Timer2;
    Transcript transcript{Text1};
    RosterUpkeep upkeep{List1, Text4, Label4, Timer1, Timer2};
    qint32 X = 0;
    QByteArray receivedRosterText;
    MessageRelay message{channels, transcript, dialogs, window};
    PresenceRelay presence{channels, transcript, List1, upkeep, X, receivedRosterText};
};
