#pragma once

#include <QStringList>

#include <functional>

// What a test's stand-in for the person at the window was told and asked:
// failure reports as "number: description", input problems, stop questions.
// answer is the reply to the stop question; whileOpen runs while a report or
// question is "open", to look at things at that moment.
struct OperatorRecord
{
    QStringList failures;
    QStringList inputProblems;
    QStringList questions;
    bool answer = true;
    std::function<void()> whileOpen;

    void showing() const
    {
        if (whileOpen)
            whileOpen();
    }
};
