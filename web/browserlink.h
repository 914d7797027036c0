#pragma once

#include "websocketframes.h"

#include "wire/socketreactor.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QList>

#include <cstdint>

// One browser's WebSocket once the HTTP front has answered its upgrade:
// frames in and out on the gateway's reactor.
//
// Qt's QWebSocket costs some 27 KiB a connection once a message has gone
// each way (bench/README.md), more than a whole user may cost here. This
// holds the part of a frame not yet read, and the frames the kernel would
// not take yet, kept as they were given: the same chat line waiting for many
// slow browsers is one copy.
class BrowserLink final : public QObject, public ReactorClient
{
    Q_OBJECT

public:
    // How long a closing browser has to take the rest and answer the close.
    static constexpr int CloseGraceMs = 5000;

    BrowserLink(SocketReactor &reactor, int fd, qint64 maxMessageBytes, QObject *parent = nullptr);
    ~BrowserLink() override;

    bool isOpen() const { return m_fd >= 0; }
    // What waits to go out: the gateway's bound on a slow browser.
    qint64 bytesToWrite() const { return m_waiting; }

    // A whole frame, as WebSocketFrames makes it.
    void sendFrame(const QByteArray &frame);
    // Sends the close and hands the connection to the reactor to finish.
    void close(quint16 code, const QString &reason = {});
    // Ends the connection at once.
    void abort();
    // Whether what the browser sends is read (not while its words cannot go on).
    void setReading(bool reading);

    void onReady(std::uint32_t events) override;
    void onWake() override {}

signals:
    void textReceived(const QString &text);
    // Some of what waited went out.
    void written();
    // The connection is over, whoever ended it; once.
    void gone();

private:
    void readSome();
    void writeSome();
    void updateInterest();
    void finish(bool linger, const QByteArray &last);

    SocketReactor &m_reactor;
    int m_fd;
    SocketReactor::Key m_key = SocketReactor::NoKey;
    FrameReader m_reader;
    QList<QByteArray> m_out;
    qsizetype m_sentOfFirst = 0;
    qint64 m_waiting = 0;
    bool m_reading = true;
};
