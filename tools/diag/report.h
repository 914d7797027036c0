#pragma once

#include <QByteArray>

struct Diagnosis;

// For a person: the verdict and the problems first, then what was found.
QByteArray textReport(const Diagnosis &d);
// For scripts: the same findings, keys in English, texts in Turkish.
QByteArray jsonReport(const Diagnosis &d);
