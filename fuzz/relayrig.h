#pragma once

#include "fakeoperator.h"
#include "fuzzendpoint.h"

#include "net/channels.h"
#include "net/yield.h"
#include "relay/messagerelay.h"
#include "relay/presencerelay.h"
#include "relay/typedtext.h"
#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"

#include <QTimer>

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

// What the server core wires together for the four data handlers and the
// roster upkeep, on fuzz endpoints; the timers never fire by themselves.
struct RelayRig
{
    explicit RelayRig(EndpointObserver &observer) : factory(observer)
    {
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
    FakeOperator transcript;
    TypedText Text2;
    TypedText Txtnick;
    RosterModel List1;
    RosterUpkeep upkeep{List1};
    QTimer &Timer2 = upkeep.Timer2();
    MessageRelay message{channels, transcript};
    PresenceRelay presence{channels, transcript, List1, upkeep};
};
