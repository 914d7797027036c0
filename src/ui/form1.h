#pragma once

#include "net/channels.h"
#include "ui/transcript.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class TranscriptView;

class EndpointFactory;
class OperatorDialogs;
class ViewCommands;
class MessageRelay;
class PresenceRelay;
class RosterUpkeep;
class ServerLifecycle;
class Yield;

// What the operator window runs on. Left empty, the real ones are made: TCP
// endpoints, the event-loop yield and message boxes. Tests pass fakes.
struct Form1Services
{
    EndpointFactory *endpoints = nullptr;
    Yield *yield = nullptr;
    OperatorDialogs *dialogs = nullptr;
};

// The operator window. It owns every control, the four channel pools and the
// objects that hold the handlers' logic (relay, roster upkeep, lifecycle); it
// only wires them together. Controls carry the names the whole program uses.
class Form1 final : public QMainWindow
{
    Q_OBJECT

public:
    using Services = Form1Services;

    explicit Form1(Services services = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Controls (layout and initial states in form1layout.cpp).
    QGroupBox *Frame1() const { return m_Frame1; }
    QGroupBox *Frame2() const { return m_Frame2; }
    QLabel *Label1() const { return m_Label1; }
    QLabel *Label2() const { return m_Label2; }
    QLabel *Label3() const { return m_Label3; }
    QLabel *Label4() const { return m_Label4; }
    QLineEdit *Txtnick() const { return m_Txtnick; }
    QLineEdit *Text2() const { return m_Text2; }
    QLineEdit *Text3() const { return m_Text3; }
    QLineEdit *Text4() const { return m_Text4; }
    TranscriptView *Text1() const { return m_Text1; }
    QPushButton *Cmdconnct() const { return m_Cmdconnct; }
    QPushButton *Command1() const { return m_Command1; }
    QListWidget *List1() const { return m_List1; }
    QTimer *Timer1() const { return m_Timer1; }
    QTimer *Timer2() const { return m_Timer2; }

    // Menus.
    QMenu *mnuserver() const { return m_mnuserver; }
    QAction *mnustart() const { return m_mnustart; }
    QAction *mnudisconnect() const { return m_mnudisconnect; }
    QAction *sdfsd() const { return m_sdfsd; }
    QAction *mnuexit() const { return m_mnuexit; }
    QMenu *mnuformat() const { return m_mnuformat; }
    QAction *mnubold() const { return m_mnubold; }
    QAction *mnuitallic() const { return m_mnuitallic; }
    QAction *mnuunderlined() const { return m_mnuunderlined; }
    QAction *mnunone() const { return m_mnunone; }
    QAction *safsdf() const { return m_safsdf; }
    QAction *mnuclear() const { return m_mnuclear; }
    QAction *mnuabout() const { return m_mnuabout; }

    // The channel pools and their broadcasts.
    Channels &channels() { return *m_channels; }
    SocketPool &Winsock() { return m_channels->Winsock(); }
    SocketPool &Winusers() { return m_channels->Winusers(); }
    SocketPool &Winjoin() { return m_channels->Winjoin(); }
    SocketPool &Winleft() { return m_channels->Winleft(); }

    Transcript &transcript() { return *m_transcript; }
    OperatorDialogs &dialogs() { return *m_dialogs; }
    Yield &yield() { return *m_yield; }
    ViewCommands &viewCommands() { return *m_viewCommands; }
    // The objects that hold the handlers of the channels, the roster and the
    // server's life; the window only connects its controls and pools to them.
    MessageRelay &messageRelay() { return *m_messageRelay; }
    PresenceRelay &presenceRelay() { return *m_presenceRelay; }
    RosterUpkeep &rosterUpkeep() { return *m_rosterUpkeep; }
    ServerLifecycle &lifecycle() { return *m_lifecycle; }

    // Form-level variables: the roster broadcast index shared by every run of
    // Counter, and the last text read on the roster channel.
    qint32 X = 0;
    QByteArray receivedRosterText;

private:
    void buildLayout();
    void buildMenus();
    void connectHandlers();

    // Owned services (only those not handed in).
    std::unique_ptr<EndpointFactory> m_ownEndpoints;
    std::unique_ptr<Yield> m_ownYield;
    std::unique_ptr<OperatorDialogs> m_ownDialogs;
    Yield *m_yield = nullptr;
    OperatorDialogs *m_dialogs = nullptr;
    std::unique_ptr<Channels> m_channels;

    QGroupBox *m_Frame1 = nullptr;
    QGroupBox *m_Frame2 = nullptr;
    QLabel *m_Label1 = nullptr;
    QLabel *m_Label2 = nullptr;
    QLabel *m_Label3 = nullptr;
    QLabel *m_Label4 = nullptr;
    QLineEdit *m_Txtnick = nullptr;
    QLineEdit *m_Text2 = nullptr;
    QLineEdit *m_Text3 = nullptr;
    QLineEdit *m_Text4 = nullptr;
    TranscriptView *m_Text1 = nullptr;
    QPushButton *m_Cmdconnct = nullptr;
    QPushButton *m_Command1 = nullptr;
    QListWidget *m_List1 = nullptr;
    QTimer *m_Timer1 = nullptr;
    QTimer *m_Timer2 = nullptr;

    QMenu *m_mnuserver = nullptr;
    QAction *m_mnustart = nullptr;
    QAction *m_mnudisconnect = nullptr;
    QAction *m_sdfsd = nullptr;
    QAction *m_mnuexit = nullptr;
    QMenu *m_mnuformat = nullptr;
    QAction *m_mnubold = nullptr;
    QAction *m_mnuitallic = nullptr;
    QAction *m_mnuunderlined = nullptr;
    QAction *m_mnunone = nullptr;
    QAction *m_safsdf = nullptr;
    QAction *m_mnuclear = nullptr;
    QAction *m_mnuabout = nullptr;

    std::unique_ptr<Transcript> m_transcript;
    // Goes before the widgets it watches.
    std::unique_ptr<ViewCommands> m_viewCommands;
    std::unique_ptr<RosterUpkeep> m_rosterUpkeep;
    std::unique_ptr<MessageRelay> m_messageRelay;
    std::unique_ptr<PresenceRelay> m_presenceRelay;
    // Last, so it goes first: nothing may stop or exit through a dead roster.
    std::unique_ptr<ServerLifecycle> m_lifecycle;
};
