#pragma once

#include <QAbstractSocket>
#include <QString>

// Why a client's session ended, in the Turkish every client shows.
namespace FailureText {

// A channel could not be connected; detail is the socket's own description.
QString connectFailed(QAbstractSocket::SocketError error, const QString &host, const QString &detail);
QString noAnswer(const QString &host, int seconds);
QString connectionBroke(const QString &detail);
// The server closed the connections, after its stop notice or without one.
QString serverClosed(bool stopNoticed);

} // namespace FailureText
