#pragma once

#include "server/servercore.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QTimer;
class TranscriptView;

class EndpointFactory;
class OperatorDialogs;
class ViewCommands;
class WindowOperator;
class Yield;
namespace Ui {
class Form1;
}

// What the operator window runs on. Left empty, the real ones are made: TCP
// endpoints, the event-loop yield and message boxes. Tests pass fakes.
struct Form1Services
{
    EndpointFactory *endpoints = nullptr;
    Yield *yield = nullptr;
    OperatorDialogs *dialogs = nullptr;
};

// The operator window over the server core it owns: it shows what the core
// tells it (lines, reports, the roster, the count, the state), mirrors the
// texts the operator types and hands the operator's commands to the core.
// Controls carry the names the whole program uses.
class Form1 final : public QMainWindow
{
    Q_OBJECT

public:
    using Services = Form1Services;

    explicit Form1(Services services = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Controls (layout in form1.ui, the rest in form1layout.cpp).
    QGroupBox *Frame1() const;
    QGroupBox *Frame2() const;
    QLabel *Label1() const;
    QLabel *Label2() const;
    QLabel *Label3() const;
    QLabel *Label4() const;
    QLineEdit *Txtnick() const;
    QLineEdit *Text2() const;
    QLineEdit *Text3() const;
    QLineEdit *Text4() const;
    TranscriptView *Text1() const;
    QPushButton *Cmdconnct() const;
    QPushButton *Command1() const;
    QListView *List1() const;
    // The roster's tidy and removal ticks, which the core runs.
    QTimer *Timer1() const { return &m_core->rosterUpkeep().Timer1(); }
    QTimer *Timer2() const { return &m_core->rosterUpkeep().Timer2(); }

    // Menus.
    QMenu *mnuserver() const;
    QAction *mnustart() const;
    QAction *mnudisconnect() const;
    QAction *mnuexit() const;
    QMenu *mnuformat() const;
    QAction *mnubold() const;
    QAction *mnuitallic() const;
    QAction *mnuunderlined() const;
    QAction *mnunone() const;
    QAction *mnuclear() const;
    QAction *mnuabout() const;

    // The server the window shows and commands.
    ServerCore &core() { return *m_core; }
    // The core's channel pools.
    SocketPool &Winsock() { return m_core->channels().Winsock(); }
    SocketPool &Winusers() { return m_core->channels().Winusers(); }
    SocketPool &Winjoin() { return m_core->channels().Winjoin(); }
    SocketPool &Winleft() { return m_core->channels().Winleft(); }

    ViewCommands &viewCommands() { return *m_viewCommands; }

private:
    void completeLayout();
    void connectCore();
    void follow(ServerState state);

    // Owned services (only those not handed in).
    std::unique_ptr<EndpointFactory> m_ownEndpoints;
    std::unique_ptr<Yield> m_ownYield;
    std::unique_ptr<OperatorDialogs> m_ownDialogs;

    std::unique_ptr<Ui::Form1> m_ui;
    std::unique_ptr<WindowOperator> m_operator;
    // After the services it runs on, so it goes before them.
    std::unique_ptr<ServerCore> m_core;
    std::unique_ptr<ViewCommands> m_viewCommands;
};
