#pragma once

#include "ui/operatordialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the operator's message boxes for a test and records what they said.
// whileOpen runs while a box is "open", to look at the window at that moment.
class FakeDialogs final : public OperatorDialogs
{
public:
    void inputProblem(QWidget *, const QString &text) override
    {
        inputProblems.append(text);
        showing();
    }
    void failure(QWidget *, const Failure &failure) override
    {
        failures.append(failure.report());
        showing();
    }
    bool confirmStop(QWidget *, const QString &text) override
    {
        questions.append(text);
        showing();
        return answer;
    }

    QStringList inputProblems;
    QStringList failures;
    QStringList questions;
    bool answer = true;
    std::function<void()> whileOpen;

private:
    void showing()
    {
        if (whileOpen)
            whileOpen();
    }
};
