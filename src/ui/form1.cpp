#include "form1.h"
#include "ui_form1.h"

#include "net/tcpendpoint.h"
#include "net/yield.h"
#include "ui/accessiblenames.h"
#include "ui/closeguard.h"
#include "ui/hostaddresshint.h"
#include "ui/operatordialogs.h"
#include "ui/textmirror.h"
#include "ui/viewcommands.h"
#include "ui/windowoperator.h"

Form1::Form1(Services services, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::Form1>())
{
    EndpointFactory *endpoints = services.endpoints;
    if (!endpoints) {
        m_ownEndpoints = std::make_unique<TcpEndpointFactory>(this);
        endpoints = m_ownEndpoints.get();
    }
    Yield *yield = services.yield;
    if (!yield) {
        m_ownYield = std::make_unique<EventLoopYield>();
        yield = m_ownYield.get();
    }
    OperatorDialogs *dialogs = services.dialogs;
    if (!dialogs) {
        m_ownDialogs = std::make_unique<MessageBoxDialogs>();
        dialogs = m_ownDialogs.get();
    }

    m_ui->setupUi(this);
    completeLayout();
    m_operator = std::make_unique<WindowOperator>(*this, *m_ui->Text1, *m_ui->Txtnick, *dialogs);
    m_core = std::make_unique<ServerCore>(*endpoints, *yield, *m_operator);
    connectCore();
    AccessibleNames::apply(*this);
    new HostAddressHint(m_ui->Text3);
    m_viewCommands = std::make_unique<ViewCommands>(*this);

    m_core->lifecycle().load();
    auto *guard = new CloseGuard(*this); // owned by the window
    connect(&m_core->lifecycle(), &ServerLifecycle::exiting, guard, &CloseGuard::allowClose);
}

Form1::~Form1()
{
    // The roster view lets go of the core's model before the core goes, and
    // the core with its pools before the endpoint factory they use.
    m_ui->List1->setModel(nullptr);
    m_viewCommands.reset();
    m_core.reset();
}

void Form1::connectCore()
{
    RosterModel &roster = m_core->roster();
    m_ui->List1->setModel(&roster);
    // The view shares the core's selection, so the lookup and the operator's
    // clicks select the same entry. The view's own goes with the swap.
    QItemSelectionModel *own = m_ui->List1->selectionModel();
    m_ui->List1->setSelectionModel(&roster.selection());
    delete own;

    mirror(*m_ui->Txtnick, m_core->nickname(), &TypedText::text, &TypedText::setText,
           &TypedText::changed);
    mirror(*m_ui->Text3, m_core->host(), &TypedText::text, &TypedText::setText,
           &TypedText::changed);
    mirror(*m_ui->Text2, m_core->line(), &TypedText::text, &TypedText::setText,
           &TypedText::changed);
    RosterUpkeep &upkeep = m_core->rosterUpkeep();
    mirror(*m_ui->Text4, upkeep, &RosterUpkeep::lookupText, &RosterUpkeep::setLookupText,
           &RosterUpkeep::lookupTextChanged);
    m_ui->Label4->setText(upkeep.countCaption());
    connect(&upkeep, &RosterUpkeep::countCaptionChanged, m_ui->Label4, &QLabel::setText);

    ServerCore *core = m_core.get();
    connect(m_ui->Cmdconnct, &QPushButton::clicked, core, &ServerCore::start);
    connect(m_ui->mnustart, &QAction::triggered, core, &ServerCore::start);
    connect(m_ui->mnudisconnect, &QAction::triggered, core, &ServerCore::stop);
    connect(m_ui->mnuexit, &QAction::triggered, core, &ServerCore::exit);
    connect(m_ui->Command1, &QPushButton::clicked, core, &ServerCore::send);
    connect(&m_core->lifecycle(), &ServerLifecycle::stateChanged, this, &Form1::follow);
    follow(m_core->state());
}

// The commands and frames the operator may use in each state.
void Form1::follow(ServerState state)
{
    const bool notStarted = state == ServerState::NotStarted;
    const bool running = state == ServerState::Running;
    m_ui->mnustart->setEnabled(notStarted);
    m_ui->mnudisconnect->setEnabled(running);
    m_ui->mnuexit->setEnabled(!running);
    m_ui->Frame1->setEnabled(notStarted);
    m_ui->Frame2->setEnabled(running);
    if (running)
        m_ui->Text2->setFocus();
}

QGroupBox *Form1::Frame1() const { return m_ui->Frame1; }
QGroupBox *Form1::Frame2() const { return m_ui->Frame2; }
QLabel *Form1::Label1() const { return m_ui->Label1; }
QLabel *Form1::Label2() const { return m_ui->Label2; }
QLabel *Form1::Label3() const { return m_ui->Label3; }
QLabel *Form1::Label4() const { return m_ui->Label4; }
QLineEdit *Form1::Txtnick() const { return m_ui->Txtnick; }
QLineEdit *Form1::Text2() const { return m_ui->Text2; }
QLineEdit *Form1::Text3() const { return m_ui->Text3; }
QLineEdit *Form1::Text4() const { return m_ui->Text4; }
TranscriptView *Form1::Text1() const { return m_ui->Text1; }
QPushButton *Form1::Cmdconnct() const { return m_ui->Cmdconnct; }
QPushButton *Form1::Command1() const { return m_ui->Command1; }
QListView *Form1::List1() const { return m_ui->List1; }
QMenu *Form1::mnuserver() const { return m_ui->mnuserver; }
QAction *Form1::mnustart() const { return m_ui->mnustart; }
QAction *Form1::mnudisconnect() const { return m_ui->mnudisconnect; }
QAction *Form1::mnuexit() const { return m_ui->mnuexit; }
QMenu *Form1::mnuformat() const { return m_ui->mnuformat; }
QAction *Form1::mnubold() const { return m_ui->mnubold; }
QAction *Form1::mnuitallic() const { return m_ui->mnuitallic; }
QAction *Form1::mnuunderlined() const { return m_ui->mnuunderlined; }
QAction *Form1::mnunone() const { return m_ui->mnunone; }
QAction *Form1::mnuclear() const { return m_ui->mnuclear; }
QAction *Form1::mnuabout() const { return m_ui->mnuabout; }
