#include "form1.h"

#include "net/heaptrim.h"
#include "net/tcpendpoint.h"
#include "relay/messagerelay.h"
#include "relay/presencerelay.h"
#include "roster/rosterupkeep.h"
#include "server/serverlifecycle.h"
#include "net/yield.h"
#include "ui/accessiblenames.h"
#include "ui/hostaddresshint.h"
#include "ui/operatordialogs.h"
#include "ui/viewcommands.h"

#include <QAction>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int HeapTrimMs = 5000;
} // namespace

Form1::Form1(Services services, QWidget *parent) : QMainWindow(parent)
{
    EndpointFactory *endpoints = services.endpoints;
    if (!endpoints) {
        m_ownEndpoints = std::make_unique<TcpEndpointFactory>(this);
        endpoints = m_ownEndpoints.get();
    }
    m_yield = services.yield;
    if (!m_yield) {
        m_ownYield = std::make_unique<EventLoopYield>();
        m_yield = m_ownYield.get();
    }
    m_dialogs = services.dialogs;
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<MessageBoxDialogs>();
        m_dialogs = m_ownDialogs.get();
    }
    m_channels = std::make_unique<Channels>(*endpoints, *m_yield);

    buildLayout();
    buildMenus();
    AccessibleNames::apply(*this);
    new HostAddressHint(m_Text3);
    m_transcript = std::make_unique<Transcript>(*m_Text1);
    m_viewCommands = std::make_unique<ViewCommands>(*this);
    m_rosterUpkeep = std::make_unique<RosterUpkeep>(*m_List1, *m_Text4, *m_Label4, *m_Timer1,
                                                    *m_Timer2);
    m_messageRelay = std::make_unique<MessageRelay>(*m_channels, *m_transcript, *m_dialogs, *this);
    m_presenceRelay = std::make_unique<PresenceRelay>(*m_channels, *m_transcript, *m_List1,
                                                      *m_rosterUpkeep, X, receivedRosterText);
    m_lifecycle = std::make_unique<ServerLifecycle>(*this, *m_rosterUpkeep);
    connectHandlers();
    m_lifecycle->load();

    // Housekeeping of the process, not of the chat: see returnFreedMemory().
    auto *trim = new QTimer(this);
    trim->setInterval(HeapTrimMs);
    connect(trim, &QTimer::timeout, trim, &returnFreedMemory);
    trim->start();
}

void Form1::connectHandlers()
{
    MessageRelay *message = m_messageRelay.get();
    connect(&Winsock(), &SocketPool::dataArrival, message, &MessageRelay::dataArrival);
    connect(&Winsock(), &SocketPool::socketError, message,
            [message](qint16, const Failure &failure) { message->socketError(failure); });
    connect(m_Command1, &QPushButton::clicked, message,
            [this] { m_messageRelay->send(*m_Txtnick, *m_Text2); });

    PresenceRelay *presence = m_presenceRelay.get();
    connect(&Winjoin(), &SocketPool::dataArrival, presence, &PresenceRelay::joinArrival);
    connect(&Winusers(), &SocketPool::dataArrival, presence, &PresenceRelay::rosterArrival);
    connect(&Winleft(), &SocketPool::dataArrival, presence, &PresenceRelay::leaveArrival);

    ServerLifecycle *life = m_lifecycle.get();
    connect(m_Cmdconnct, &QPushButton::clicked, life, &ServerLifecycle::start);
    connect(m_mnustart, &QAction::triggered, life, &ServerLifecycle::start);
    connect(m_mnudisconnect, &QAction::triggered, life, &ServerLifecycle::stop);
    connect(m_mnuexit, &QAction::triggered, life, &ServerLifecycle::exit);
}

Form1::~Form1()
{
    // The pools go before the widgets and the endpoint factory they use.
    m_channels.reset();
}
