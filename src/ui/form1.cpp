#include "form1.h"

#include "net/tcpendpoint.h"
#include "net/yield.h"
#include "ui/operatordialogs.h"
#include "ui/viewcommands.h"

#include <QPlainTextEdit>

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
    m_transcript = std::make_unique<Transcript>(*m_Text1);
    m_viewCommands = std::make_unique<ViewCommands>(*this);
}

Form1::~Form1()
{
    // The pools go before the widgets and the endpoint factory they use.
    m_channels.reset();
}
