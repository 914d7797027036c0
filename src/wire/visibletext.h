#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

// Client text may carry any character. Those that would move the pen, break
// the line, draw nothing or reorder what follows them (C0 and C1 controls,
// DEL, line and paragraph separators, bidirectional controls) are shown as a
// visible stand-in of their own, one for one, so that what is on screen, in
// the accessible text and in a terminal is the text with nothing acted upon,
// and columns on screen stay columns of the text. What is stored and relayed
// keeps the bytes as received: this is for showing only.
namespace VisibleText {

QChar shownChar(QChar c);
QString shown(QStringView text);

} // namespace VisibleText
