#pragma once

#include "failure.h"

#include <QAbstractSocket>

// A socket layer error as the operator sees it: a number in the range socket
// errors usually carry and a Turkish description, with Qt's own wording after it
// so nothing of the cause is lost.
Failure socketFailure(QAbstractSocket::SocketError error, const QString &detail);

// The same for an error number from a system call on a connection's
// descriptor, with the system's wording after the Turkish description.
Failure socketFailureFromErrno(int error);
