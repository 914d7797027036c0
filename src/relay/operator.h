#pragma once

#include "net/failure.h"

#include <QString>

// What the server tells the person at the window, and the one thing it asks.
// The window decides how each looks (a line in the transcript box, a message
// box, a title-bar hint); tests record them. Every call returns before the
// server's next step, and a report may run the event loop while it is open
// (a modal box): the server keeps serving meanwhile.
class Operator
{
public:
    // The typed text an input problem is about; the window may move the
    // operator there.
    enum class Field { Nickname, Host };

    virtual ~Operator() = default;

    // A line for the transcript, added after everything shown so far.
    virtual void showLine(const QString &line) = 0;
    // The same as that many empty lines shown one after another.
    virtual void showEmptyLines(int count) = 0;
    // A failure report: "number: description".
    virtual void reportFailure(const Failure &failure) = 0;
    // An input problem the server tests for itself before it starts.
    virtual void reportInputProblem(Field field, const QString &text) = 0;
    // The question before a stop; true when the operator agrees.
    virtual bool confirmStop(const QString &question) = 0;
    // Chat arrived: the window comes to the front, over other windows, and
    // stays there, without taking the operator's typing away.
    virtual void keepOnTop() = 0;
};
