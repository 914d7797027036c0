// Times appending transcript lines to TranscriptView and, for comparison, to
// a QPlainTextEdit fed through one QTextCursor in edit blocks, and prints the
// median µs per line and the bytes held per line at 1, 1 000, 100 000 and
// 1 000 000 lines. Not a test: run it by hand.
//
// The lines come as a chat arrival at 1 000 clients brings them: one text
// line and 999 empty ones. Each arrival is timed on its own; between arrivals
// the event loop runs (painting, scroll bars), outside the timing. The
// TranscriptView runs as in the window: every change moves the caret to the
// end. Bytes are the growth of what malloc has handed out (heap and mapped
// blocks) over the whole run, spare capacity included.
#include "ui/transcriptview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Clients = 1000;
const QString ChatLine = QStringLiteral("Ayşe: merhaba arkadaşlar, bugün toplantı var mı?");

struct Result
{
    double microsPerLine = 0;
    double bytesPerLine = 0;
    double lastArrivalMicrosPerLine = 0;
};

// Large blocks are mapped apart from the heap proper; both count.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

QString lineAt(qint64 i)
{
    return i % Clients == 0 ? ChatLine : QString();
}

// appendArrival(first, count) appends lines first .. first + count - 1.
Result run(qint64 lines, const std::function<void(qint64, qint64)> &appendArrival)
{
    Result result;
    const qint64 heapBefore = heapInUse();
    qint64 nanos = 0;
    for (qint64 first = 0; first < lines; first += Clients) {
        const qint64 count = std::min<qint64>(Clients, lines - first);
        QElapsedTimer timer;
        timer.start();
        appendArrival(first, count);
        const qint64 elapsed = timer.nsecsElapsed();
        nanos += elapsed;
        result.lastArrivalMicrosPerLine = double(elapsed) / 1e3 / double(count);
        QCoreApplication::processEvents();
    }
    result.microsPerLine = double(nanos) / 1e3 / double(lines);
    result.bytesPerLine = double(heapInUse() - heapBefore) / double(lines);
    return result;
}

Result transcriptView(qint64 lines)
{
    TranscriptView view;
    view.resize(412, 345);
    view.show();
    QObject::connect(&view, &TranscriptView::textChanged, &view,
                     [&view] { view.setCaretPosition(view.textLength()); });
    QCoreApplication::processEvents();
    return run(lines, [&view](qint64 first, qint64 count) {
        for (qint64 i = first; i < first + count; ++i)
            view.appendLine(lineAt(i));
    });
}

Result plainTextEdit(qint64 lines)
{
    QPlainTextEdit edit;
    edit.setUndoRedoEnabled(false);
    edit.resize(412, 345);
    edit.show();
    QCoreApplication::processEvents();
    QTextCursor end(edit.document());
    end.movePosition(QTextCursor::End);
    return run(lines, [&end](qint64 first, qint64 count) {
        end.beginEditBlock();
        for (qint64 i = first; i < first + count; ++i)
            end.insertText(lineAt(i) + QLatin1Char('\n'));
        end.endEditBlock();
    });
}

Result median(std::vector<Result> runs)
{
    auto by = [&runs](double Result::*field) {
        std::sort(runs.begin(), runs.end(),
                  [field](const Result &a, const Result &b) { return a.*field < b.*field; });
        return runs[runs.size() / 2].*field;
    };
    return {by(&Result::microsPerLine), by(&Result::bytesPerLine),
            by(&Result::lastArrivalMicrosPerLine)};
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    struct Size
    {
        qint64 lines;
        int runs;
    };
    for (const Size size : {Size{1, 21}, Size{1000, 21}, Size{100'000, 5}, Size{1'000'000, 3}}) {
        for (const bool view : {true, false}) {
            std::vector<Result> runs;
            for (int r = 0; r < size.runs; ++r)
                runs.push_back(view ? transcriptView(size.lines) : plainTextEdit(size.lines));
            const Result m = median(runs);
            std::printf("%-15s %8lld lines: %8.3f us/line, %7.1f B/line, last arrival %8.3f us/line"
                        " (median of %d)\n",
                        view ? "TranscriptView" : "QPlainTextEdit", size.lines, m.microsPerLine,
                        m.bytesPerLine, m.lastArrivalMicrosPerLine, size.runs);
            std::fflush(stdout);
        }
    }
    return 0;
}
