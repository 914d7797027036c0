#pragma once

#include "wire/chatsession.h"
#include "wire/joinannouncements.h"
#include "wire/people.h"

#include <QWidget>

#include <memory>

class Conversation;
class DesktopNotifier;
class QSettings;
namespace Ui {
class ChatWindow;
}

// The client's one window: nickname and server address, the conversation,
// the people present with their count, and the input line. It shows what the
// session reports and hands it the user's commands; the networking is the
// session's. Closing the window while connected leaves first and closes once
// the leave is written (or its deadline has passed).
class ChatWindow final : public QWidget
{
    Q_OBJECT

public:
    // settings keeps the last nickname and address, nothing else.
    explicit ChatWindow(QSettings &settings, QWidget *parent = nullptr);
    ~ChatWindow() override;

    ChatSession &session() { return m_session; }
    People &people() { return m_people; }
    int unread() const { return m_unread; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void connectToServer();
    void sendLine();
    void stateChanged(ChatSession::State state);
    void lost(const QString &reason);
    void chatArrived(const QString &text);
    void joinArrived(const QString &text);
    void leaveArrived(const QString &text);
    void peopleChanged();
    void updateTitle();

    std::unique_ptr<Ui::ChatWindow> m_ui;
    QSettings &m_settings;
    ChatSession m_session;
    People m_people;
    JoinAnnouncements m_joins;
    std::unique_ptr<Conversation> m_conversation;
    DesktopNotifier *m_notifier = nullptr;
    int m_unread = 0;
    bool m_closing = false;
};
