#include "stderrdialogs.h"

#include <cstdio>

void StderrDialogs::inputProblem(QWidget *, const QString &text)
{
    std::fprintf(stderr, "benchhost: Hata: %s\n", qUtf8Printable(text));
}

void StderrDialogs::failure(QWidget *, const Failure &failure)
{
    std::fprintf(stderr, "benchhost: %s\n", qUtf8Printable(failure.report()));
}

bool StderrDialogs::confirmStop(QWidget *, const QString &text)
{
    std::fprintf(stderr, "benchhost: UYARI: %s -> Yes\n", qUtf8Printable(text));
    return true;
}
