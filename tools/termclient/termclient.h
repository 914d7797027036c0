#pragma once

#include "wire/chatsession.h"

#include <QObject>
#include <QString>

class QTextStream;
class StdinLines;

// One chat participant, driven from a terminal, on the library's session:
//   - connects as nickname to host and says when it is connected (the
//     address and the channels), prefixed "[bağlantı]";
//   - then sends every typed line as a chat line;
//   - prints what each channel delivers, prefixed with the channel's name,
//     control characters shown as visible stand-ins (never sent to the
//     terminal), above the line being typed (see StdinLines);
//   - leaves at the end of input.
// finished() carries the exit status: 0 after leaving, 1 when the session
// ended otherwise, its reason written to err.
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
    void stateChanged(ChatSession::State state);
    void lost(const QString &reason);
    void sendLine(const QByteArray &line);
    void leave();
    void print(const QString &line);
    void finish(int status);

    const QString m_nickname;
    const QString m_host;
    QTextStream &m_out;
    QTextStream &m_err;
    ChatSession m_session;
    StdinLines *m_stdin = nullptr;
    bool m_leaving = false;
    bool m_finished = false;
};
