#include "termclient.h"

#include "net/channeltext.h"
#include "net/channels.h"
#include "net/socketfailure.h"
#include "net/visibletext.h"
#include "net/wiretext.h"
#include "stdinlines.h"

#include <QTcpSocket>
#include <QTextStream>

namespace {

constexpr std::array<quint16, 4> Ports = {ChannelPort::Message, ChannelPort::Roster,
                                          ChannelPort::Join, ChannelPort::Leave};
const std::array<QString, 4> Names = {QStringLiteral("sohbet"), QStringLiteral("liste"),
                                      QStringLiteral("katılım"), QStringLiteral("ayrılış")};
// What the client says of its own connections, beside the channels' prefixes.
const QString StatusPrefix = QStringLiteral("[bağlantı] ");
// A server that stops reading must not keep the client from ending.
constexpr int LeaveDeadlineMs = 5000;

} // namespace

TermClient::TermClient(QString nickname, QString host, QTextStream &out, QTextStream &err,
                       QObject *parent)
    : QObject(parent), m_nickname(std::move(nickname)), m_host(std::move(host)), m_out(out),
      m_err(err)
{
    m_leaveDeadline.setSingleShot(true);
    m_leaveDeadline.setInterval(LeaveDeadlineMs);
    connect(&m_leaveDeadline, &QTimer::timeout, this, [this] {
        m_err << QStringLiteral("sohbet-istemci: ayrılış gönderilemedi, bağlantılar kapatılıyor.\n");
        m_err.flush();
        finish(1);
    });
}

void TermClient::start()
{
    for (int c = 0; c < ChannelCount; ++c) {
        const auto channel = static_cast<Channel>(c);
        auto *socket = new QTcpSocket(this);
        auto *text = new ChannelText(this);
        m_sockets[c] = socket;
        m_texts[c] = text;
        connect(text, &ChannelText::text, this,
                [this, channel](const QString &t) { print(channel, t); });
        connect(socket, &QTcpSocket::readyRead, this,
                [socket, text] { text->feed(socket->readAll()); });
        connect(socket, &QTcpSocket::connected, this, &TermClient::connected);
        connect(socket, &QTcpSocket::errorOccurred, this, [this, channel] { failed(channel); });
        connect(socket, &QTcpSocket::bytesWritten, this, &TermClient::closeWhenWritten);
        connect(socket, &QTcpSocket::disconnected, this, [this, channel] { closed(channel); });
        socket->connectToHost(m_host, Ports[c]);
    }
}

void TermClient::connected()
{
    if (++m_connected < ChannelCount)
        return;
    QString channels;
    for (int c = 0; c < ChannelCount; ++c)
        channels += (c ? QStringLiteral(", ") : QString()) + Names[c] + u' '
                + QString::number(Ports[c]);
    print(StatusPrefix + m_host + QStringLiteral(" adresine bağlanıldı: ") + channels);
    // The server reads a nickname from its newest connection on these two
    // channels, so it goes out right after connecting.
    const QByteArray nickname = WireText::encode(m_nickname);
    m_sockets[Roster]->write(nickname);
    m_sockets[Join]->write(nickname);
    m_stdin = new StdinLines(m_out, this);
    connect(m_stdin, &StdinLines::line, this, &TermClient::sendLine);
    connect(m_stdin, &StdinLines::ended, this, &TermClient::leave);
    m_stdin->start();
}

void TermClient::failed(Channel channel)
{
    if (m_leaving || m_finished)
        return;
    QTcpSocket *socket = m_sockets[channel];
    // The server closing the connection is reported by closed().
    if (socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    m_err << QStringLiteral("sohbet-istemci: ") << m_host << ':' << Ports[channel]
          << QStringLiteral(" bağlanılamadı: ") << socketFailure(socket->error()).description
          << '\n';
    m_err.flush();
    finish(1);
}

void TermClient::sendLine(const QByteArray &line)
{
    // A terminal in an 8-bit code page types Windows-1254; on the wire it
    // goes as UTF-8 like everything else this client writes.
    if (!line.isEmpty())
        m_sockets[Message]->write(WireText::encode(WireText::decodeForDisplay(line)));
}

void TermClient::leave()
{
    m_leaving = true;
    m_sockets[Leave]->write(WireText::encode(m_nickname));
    m_leaveDeadline.start();
    closeWhenWritten();
}

void TermClient::closeWhenWritten()
{
    if (!m_leaving || m_finished)
        return;
    for (QTcpSocket *socket : m_sockets) {
        if (socket->bytesToWrite() > 0)
            return;
    }
    for (QTcpSocket *socket : m_sockets)
        socket->disconnectFromHost();
}

void TermClient::closed(Channel channel)
{
    if (m_finished)
        return;
    if (!m_leaving) {
        for (ChannelText *text : m_texts)
            text->flush();
        print(StatusPrefix + Names[channel] + QStringLiteral(" kanalı kapandı (")
              + QString::number(Ports[channel]) + u')');
        m_err << QStringLiteral("sohbet-istemci: sunucu bağlantıyı kapattı.\n");
        m_err.flush();
        finish(1);
        return;
    }
    for (QTcpSocket *socket : m_sockets) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
    }
    finish(0);
}

// Received text may carry any byte: control characters and escape sequences
// would clear or recolour the terminal, set its title, move the cursor. They
// are shown as visible stand-ins, as the window shows them.
void TermClient::print(Channel channel, const QString &text)
{
    print(u'[' + Names[channel] + QStringLiteral("] ") + VisibleText::shown(text));
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
    m_leaveDeadline.stop();
    for (ChannelText *text : m_texts) {
        if (text)
            text->flush();
    }
    emit finished(status);
}
