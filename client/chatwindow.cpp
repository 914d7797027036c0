#include "chatwindow.h"

#include "conversation.h"
#include "desktopnotifier.h"
#include "ui_chatwindow.h"

#include <QCloseEvent>
#include <QSettings>

namespace {

const QString NicknameKey = QStringLiteral("lakap");
const QString AddressKey = QStringLiteral("adres");
const QString DefaultAddress = QStringLiteral("127.0.0.1");
const QString LeftSuffix = QStringLiteral(" sohbetten ayrıldı.");
const QString Title = QStringLiteral("Sohbet");

} // namespace

ChatWindow::ChatWindow(QSettings &settings, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ChatWindow>()), m_settings(settings)
{
    m_ui->setupUi(this);
    m_conversation = std::make_unique<Conversation>(*m_ui->conversationView);
    m_notifier = new DesktopNotifier(this);
    m_ui->peopleView->setModel(m_people.rows());
    m_ui->splitter->setSizes({540, 180});

    m_ui->nicknameEdit->setText(m_settings.value(NicknameKey).toString());
    m_ui->addressEdit->setText(m_settings.value(AddressKey, DefaultAddress).toString());

    connect(m_ui->connectButton, &QPushButton::clicked, this, &ChatWindow::connectToServer);
    connect(m_ui->nicknameEdit, &QLineEdit::returnPressed, this, &ChatWindow::connectToServer);
    connect(m_ui->addressEdit, &QLineEdit::returnPressed, this, &ChatWindow::connectToServer);
    connect(m_ui->leaveButton, &QPushButton::clicked, &m_session, &ChatSession::leave);
    connect(m_ui->inputEdit, &QLineEdit::returnPressed, this, &ChatWindow::sendLine);
    connect(m_ui->sendButton, &QPushButton::clicked, this, &ChatWindow::sendLine);

    connect(&m_session, &ChatSession::stateChanged, this, &ChatWindow::stateChanged);
    connect(&m_session, &ChatSession::lost, this, &ChatWindow::lost);
    connect(&m_session, &ChatSession::chatText, this, &ChatWindow::chatArrived);
    connect(&m_session, &ChatSession::rosterText, &m_people, &People::rosterText);
    connect(&m_session, &ChatSession::joinText, this, &ChatWindow::joinArrived);
    connect(&m_session, &ChatSession::leaveText, this, &ChatWindow::leaveArrived);
    connect(&m_people, &People::changed, this, &ChatWindow::peopleChanged);

    stateChanged(m_session.state());
    m_ui->statusLabel->setText(QStringLiteral("Lakabınızı ve sunucunun adresini yazıp “Bağlan”a basın."));
    if (m_ui->nicknameEdit->text().isEmpty())
        m_ui->nicknameEdit->setFocus();
    else
        m_ui->connectButton->setFocus();
}

ChatWindow::~ChatWindow() = default;

void ChatWindow::connectToServer()
{
    if (m_session.state() != ChatSession::State::Disconnected)
        return;
    const QString nickname = m_ui->nicknameEdit->text().trimmed();
    const QString address = m_ui->addressEdit->text().trimmed();
    if (nickname.isEmpty() || address.isEmpty()) {
        m_ui->statusLabel->setText(nickname.isEmpty() ? QStringLiteral("Önce bir lakap yazın.")
                                                      : QStringLiteral("Sunucunun adresini yazın."));
        (nickname.isEmpty() ? m_ui->nicknameEdit : m_ui->addressEdit)->setFocus();
        return;
    }
    m_settings.setValue(NicknameKey, nickname);
    m_settings.setValue(AddressKey, address);
    m_joins.clear();
    m_people.reset(nickname);
    m_session.connectTo(nickname, address);
}

void ChatWindow::sendLine()
{
    const QString line = m_ui->inputEdit->text();
    if (line.isEmpty() || m_session.state() != ChatSession::State::Connected)
        return;
    // Shown when the server relays it back, like everyone else's lines, so
    // the conversation here is in the order the others see it.
    m_session.say(line);
    m_ui->inputEdit->clear();
}

void ChatWindow::stateChanged(ChatSession::State state)
{
    using State = ChatSession::State;
    const bool idle = state == State::Disconnected;
    const bool connected = state == State::Connected;
    m_ui->nicknameEdit->setEnabled(idle);
    m_ui->addressEdit->setEnabled(idle);
    m_ui->connectButton->setEnabled(idle);
    m_ui->leaveButton->setEnabled(state == State::Connecting || connected);
    m_ui->inputEdit->setEnabled(connected);
    m_ui->sendButton->setEnabled(connected);
    switch (state) {
    case State::Connecting:
        m_ui->statusLabel->setText(QStringLiteral("%1 adresine bağlanılıyor…").arg(m_session.host()));
        m_ui->leaveButton->setFocus();
        break;
    case State::Connected:
        m_ui->statusLabel->setText(QStringLiteral("%1 sunucusuna “%2” lakabıyla bağlısınız.")
                                           .arg(m_session.host(), m_session.nickname()));
        m_ui->inputEdit->setFocus();
        break;
    case State::Leaving:
        m_ui->statusLabel->setText(QStringLiteral("Sohbetten ayrılıyorsunuz…"));
        break;
    case State::Disconnected:
        // Whoever was present in the session that ended is not known to be
        // present any more.
        m_people.clear();
        m_ui->statusLabel->setText(QStringLiteral("Sohbetten ayrıldınız. Yeniden bağlanmak için “Bağlan”a basın."));
        m_ui->connectButton->setFocus();
        if (m_closing)
            close();
        break;
    }
    updateTitle();
}

void ChatWindow::lost(const QString &reason)
{
    m_conversation->addNotice(reason);
    m_ui->statusLabel->setText(reason + QStringLiteral(" Yeniden bağlanmak için “Bağlan”a basın."));
}

void ChatWindow::chatArrived(const QString &text)
{
    m_conversation->addChat(text);
    m_people.chatText(text);
    if (isActiveWindow())
        return;
    ++m_unread;
    updateTitle();
    m_notifier->notify(QStringLiteral("Sohbet: yeni ileti"), text);
}

void ChatWindow::joinArrived(const QString &text)
{
    for (const QString &name : m_joins.feed(text)) {
        m_conversation->addPresence(name + JoinAnnouncements::Suffix);
        m_people.joined(name);
    }
}

void ChatWindow::leaveArrived(const QString &text)
{
    for (const QString &name : m_people.leaveText(text))
        m_conversation->addPresence(name + LeftSuffix);
}

void ChatWindow::peopleChanged()
{
    if (m_people.sure())
        m_ui->countLabel->setText(QStringLiteral("%1 kişi bağlı").arg(m_people.names().size()));
    else if (m_people.likely())
        m_ui->countLabel->setText(
                QStringLiteral("Tahminen %1 kişi bağlı; liste sunucudan ayrımsız geldi, adlar harflerden çıkarıldı.")
                        .arg(m_people.names().size()));
    else if (m_people.rows()->rowCount() > 0)
        m_ui->countLabel->setText(QStringLiteral("Liste sunucudan ayrımsız geldi; kimlerin bağlı olduğu kesin değil."));
    else
        m_ui->countLabel->clear();
}

void ChatWindow::updateTitle()
{
    QString title = Title;
    if (m_session.state() == ChatSession::State::Connected)
        title += QStringLiteral(" — ") + m_session.nickname();
    if (m_unread > 0)
        title = QStringLiteral("(%1) ").arg(m_unread) + title;
    setWindowTitle(title);
}

void ChatWindow::closeEvent(QCloseEvent *event)
{
    using State = ChatSession::State;
    const State state = m_session.state();
    if (state == State::Connected || state == State::Leaving) {
        // The others learn of a departure only from the leave channel.
        m_closing = true;
        m_session.leave();
        event->ignore();
        return;
    }
    if (state == State::Connecting)
        m_session.leave();
    event->accept();
}

void ChatWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_unread > 0) {
        m_unread = 0;
        updateTitle();
    }
}
