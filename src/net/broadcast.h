#pragma once

#include "failure.h"

#include <QByteArray>

class SocketPool;
class Yield;

// Sends one text, unchanged, to every element of the pool that is connected,
// yielding after each send. The bound is fixed at the start, so elements
// accepted during a yield wait for the next broadcast. The first failure ends
// the broadcast and is handed back; the elements after it get nothing.
Outcome broadcast(SocketPool &pool, QByteArray text, Yield &yield);
