#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class ChannelText;
class QTcpSocket;
class QTextStream;
class StdinLines;

// One chat participant on all four channels of the server, driven from a
// terminal:
//   - connects to the message, roster, join and leave ports of host;
//   - once all four are connected, sends its nickname on the roster and join
//     channels and starts reading standard input;
//   - sends every typed line as chat text (UTF-8, nothing added: the wire has
//     no framing);
//   - says when it is connected (the address and the channels) and when a
//     channel closes, prefixed "[bağlantı]";
//   - prints what each channel delivers, prefixed with the channel's name,
//     control characters shown as visible stand-ins (never sent to the
//     terminal), above the line being typed (see StdinLines);
//   - at the end of input sends its nickname on the leave channel, waits
//     until every byte is written, closes the connections and finishes.
// finished() carries the exit status: 0 after an orderly leave, 1 when a
// connection failed or the server closed it.
class TermClient final : public QObject
{
    Q_OBJECT

public:
    TermClient(QString nickname, QString host, QTextStream &out, QTextStream &err,
               QObject *parent = nullptr);

    void start();

signals:
    void finished(int status);

private:
    enum Channel { Message, Roster, Join, Leave, ChannelCount };

    void connected();
    void failed(Channel channel);
    void sendLine(const QByteArray &line);
    void leave();
    void closeWhenWritten();
    void closed(Channel channel);
    void print(Channel channel, const QString &text);
    void print(const QString &line);
    void finish(int status);

    const QString m_nickname;
    const QString m_host;
    QTextStream &m_out;
    QTextStream &m_err;
    std::array<QTcpSocket *, ChannelCount> m_sockets{};
    std::array<ChannelText *, ChannelCount> m_texts{};
    StdinLines *m_stdin = nullptr;
    QTimer m_leaveDeadline;
    int m_connected = 0;
    bool m_leaving = false;
    bool m_finished = false;
};
