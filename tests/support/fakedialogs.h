#pragma once

#include "operatorrecord.h"
#include "ui/operatordialogs.h"

#include <QList>

// Answers the window's message boxes for a test and records what they said,
// and over which window.
class FakeDialogs final : public OperatorDialogs, public OperatorRecord
{
public:
    void inputProblem(QWidget *parent, const QString &text) override
    {
        inputProblems.append(text);
        parents.append(parent);
        showing();
    }
    void failure(QWidget *parent, const Failure &failure) override
    {
        failures.append(failure.report());
        parents.append(parent);
        showing();
    }
    bool confirmStop(QWidget *parent, const QString &text) override
    {
        questions.append(text);
        parents.append(parent);
        showing();
        return answer;
    }

    QList<QWidget *> parents;
};
