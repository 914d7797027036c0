#pragma once

#include <QtGlobal>

// How far one non-blocking write got.
struct SendResult
{
    qsizetype written = 0;
    // The peer is gone (reset, or closed its end): nothing more will go.
    bool peerGone = false;
};

// Hands bytes to the kernel until all are taken or its buffer is full,
// without blocking and without SIGPIPE. The caller keeps what was not written.
SendResult sendSome(int fd, const char *bytes, qsizetype size);
