#include "termclient.h"

#include "stdinlines.h"
#include "wire/channelports.h"
#include "wire/visibletext.h"
#include "wire/wiretext.h"

#include <QTextStream>

namespace {

// The channels' names, in the order of ChannelPort::All.
const std::array<QString, 4> Names = {QStringLiteral("sohbet"), QStringLiteral("liste"),
                                      QStringLiteral("katılım"), QStringLiteral("ayrılış")};
// What the client says of its own connections, beside the channels' prefixes.
const QString StatusPrefix = QStringLiteral("[bağlantı] ");

// Received text may carry any byte: control characters and escape sequences
// would clear or recolour the terminal, set its title, move the cursor. They
// are shown as visible stand-ins, as the window shows them.
QString channelLine(size_t channel, const QString &text)
{
    return u'[' + Names[channel] + QStringLiteral("] ") + VisibleText::shown(text);
}

} // namespace

TermClient::TermClient(QString nickname, QString host, QTextStream &out, QTextStream &err,
                       QObject *parent)
    : QObject(parent), m_nickname(std::move(nickname)), m_host(std::move(host)), m_out(out),
      m_err(err)
{
    connect(&m_session, &ChatSession::stateChanged, this, &TermClient::stateChanged);
    connect(&m_session, &ChatSession::lost, this, &TermClient::lost);
    connect(&m_session, &ChatSession::chatText, this,
            [this](const QString &text) { print(channelLine(0, text)); });
    connect(&m_session, &ChatSession::rosterText, this,
            [this](const QString &text) { print(channelLine(1, text)); });
    connect(&m_session, &ChatSession::joinText, this,
            [this](const QString &text) { print(channelLine(2, text)); });
    connect(&m_session, &ChatSession::leaveText, this,
            [this](const QString &text) { print(channelLine(3, text)); });
}

void TermClient::start()
{
    m_session.connectTo(m_nickname, m_host);
}

void TermClient::stateChanged(ChatSession::State state)
{
    if (state == ChatSession::State::Connected) {
        QString channels;
        for (size_t c = 0; c < Names.size(); ++c)
            channels += (c ? QStringLiteral(", ") : QString()) + Names[c] + u' '
                    + QString::number(ChannelPort::All[c]);
        print(StatusPrefix + m_host + QStringLiteral(" adresine bağlanıldı: ") + channels);
        m_stdin = new StdinLines(m_out, this);
        connect(m_stdin, &StdinLines::line, this, &TermClient::sendLine);
        connect(m_stdin, &StdinLines::ended, this, &TermClient::leave);
        m_stdin->start();
    } else if (state == ChatSession::State::Disconnected && m_leaving) {
        finish(0);
    }
}

void TermClient::lost(const QString &reason)
{
    m_err << QStringLiteral("sohbet-istemci: ") << reason << '\n';
    m_err.flush();
    finish(1);
}

void TermClient::sendLine(const QByteArray &line)
{
    // A terminal in an 8-bit code page types Windows-1254; the session sends
    // UTF-8 like everything else this client writes.
    m_session.say(WireText::decodeForDisplay(line));
}

void TermClient::leave()
{
    m_leaving = true;
    m_session.leave();
}

void TermClient::print(const QString &line)
{
    if (m_stdin) {
        m_stdin->printAbove(line);
        return;
    }
    m_out << line << '\n';
    m_out.flush();
}

void TermClient::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(status);
}
