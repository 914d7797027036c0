#pragma once

#include "relay/operator.h"

#include <QStringList>

#include <functional>

// Stands in for the operator window: keeps the transcript as the box would
// (each line followed by CR LF), records reports and questions, and answers
// the stop question. whileOpen runs while a report or question is "open".
class FakeOperator final : public Operator
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
    QStringList failures;
    QStringList inputProblems;
    QList<Field> problemFields;
    QStringList questions;
    bool answer = true;
    int keptOnTop = 0;
    std::function<void()> whileOpen;

private:
    void showing()
    {
        if (whileOpen)
            whileOpen();
    }
};
