#include "servercore.h"

#include "net/heaptrim.h"

namespace {
constexpr int HeapTrimMs = 5000;
} // namespace

ServerCore::ServerCore(EndpointFactory &endpoints, Yield &yield, Operator &desk, QObject *parent)
    : QObject(parent), m_channels(endpoints, yield), m_messages(m_channels, desk),
      m_presence(m_channels, desk, m_roster, m_upkeep),
      m_lifecycle(m_channels, m_roster, m_upkeep, desk, {m_nickname, m_host})
{
    connect(&m_channels.Winsock(), &SocketPool::dataArrival, &m_messages,
            &MessageRelay::dataArrival);
    connect(&m_channels.Winsock(), &SocketPool::socketError, &m_messages,
            [this](qint16, const Failure &failure) { m_messages.socketError(failure); });
    connect(&m_channels.Winjoin(), &SocketPool::dataArrival, &m_presence,
            &PresenceRelay::joinArrival);
    connect(&m_channels.Winusers(), &SocketPool::dataArrival, &m_presence,
            &PresenceRelay::rosterArrival);
    connect(&m_channels.Winleft(), &SocketPool::dataArrival, &m_presence,
            &PresenceRelay::leaveArrival);
    connect(&m_channels.Winusers(), &SocketPool::connectionEnded, &m_presence,
            &PresenceRelay::rosterConnectionEnded);
    connect(&m_lifecycle, &ServerLifecycle::stateChanged, &m_presence, [this](ServerState state) {
        if (state == ServerState::Stopped)
            m_presence.serverStopped();
    });

    m_upkeep.Timer1().start();

    // Housekeeping of the process, not of the chat: see returnFreedMemory().
    m_heapTrim.setInterval(HeapTrimMs);
    connect(&m_heapTrim, &QTimer::timeout, &m_heapTrim, &returnFreedMemory);
    m_heapTrim.start();
}

// The channels, made first, go last: by then nothing is connected to the
// pools, so closing their endpoints runs no handler.
ServerCore::~ServerCore() = default;
