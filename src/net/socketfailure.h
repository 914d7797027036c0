#pragma once

#include "failure.h"

#include <QAbstractSocket>

// A socket layer error as the operator sees it: a number in the range socket
// errors usually carry and a description in Turkish only. The toolkit's and
// the system's own wording is English and says nothing the number and the
// Turkish text do not.
Failure socketFailure(QAbstractSocket::SocketError error);

// A channel that could not listen: the description also names the port and
// its channel, and for a taken port says that another program holds it.
Failure listenFailure(QAbstractSocket::SocketError error, quint16 port);

// The same for an error number from a system call on a connection's
// descriptor.
Failure socketFailureFromErrno(int error);
