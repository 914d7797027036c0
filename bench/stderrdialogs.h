#pragma once

#include "ui/operatordialogs.h"

// The bench host has no one to click OK: every message box becomes a line on
// stderr (and the stop warning is answered Yes), so a failed start shows in
// the benchmark's log instead of waiting on an invisible box.
class StderrDialogs final : public OperatorDialogs
{
public:
    void inputProblem(QWidget *parent, const QString &text) override;
    void failure(QWidget *parent, const Failure &failure) override;
    bool confirmStop(QWidget *parent, const QString &text) override;
};
