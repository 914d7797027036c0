#pragma once

#include "operatorrecord.h"
#include "relay/operator.h"

// Stands in for the operator window below it, where the core tells the
// operator something: keeps the transcript as the box would (each line
// followed by CR LF) and records the rest.
class FakeOperator final : public Operator, public OperatorRecord
{
public:
    void showLine(const QString &line) override { transcript += line + QStringLiteral("\r\n"); }
    void showEmptyLines(int count) override
    {
        for (int i = 0; i < count; ++i)
            showLine(QString());
    }
    void reportFailure(const Failure &failure) override
    {
        failures.append(failure.report());
        showing();
    }
    void reportInputProblem(Field field, const QString &text) override
    {
        inputProblems.append(text);
        problemFields.append(field);
        showing();
    }
    bool confirmStop(const QString &question) override
    {
        questions.append(question);
        showing();
        return answer;
    }
    void keepOnTop() override { ++keptOnTop; }

    // The whole transcript, as the operator would copy it.
    QString text() const { return transcript; }

    QString transcript;
    QList<Field> problemFields;
    int keptOnTop = 0;
};
