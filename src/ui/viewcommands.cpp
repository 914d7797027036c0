#include "viewcommands.h"

#include "roster/guardedstep.h"
#include "ui/form1.h"
#include "ui/frmabout.h"
#include "ui/transcriptview.h"

#include <QAction>

ViewCommands::ViewCommands(Form1 &window) : m_window(window)
{
    // Clicking a checkable action flips its own check mark before triggered()
    // is emitted: that is each toggle's first step.
    connect(window.mnubold(), &QAction::triggered, this,
            [this] { toggle(&QFont::bold, &QFont::setBold); });
    connect(window.mnuitallic(), &QAction::triggered, this,
            [this] { toggle(&QFont::italic, &QFont::setItalic); });
    connect(window.mnuunderlined(), &QAction::triggered, this,
            [this] { toggle(&QFont::underline, &QFont::setUnderline); });
    connect(window.mnunone(), &QAction::triggered, this, &ViewCommands::plainStyle);
    connect(window.mnuclear(), &QAction::triggered, this,
            [this] { m_window.Text1()->clear(); });
    connect(window.mnuabout(), &QAction::triggered, this, &ViewCommands::openAbout);
    // Emitted inside whatever changed the text, so a line appended by the
    // relay is in view before the relay's next step.
    connect(window.Text1(), &TranscriptView::textChanged, this, &ViewCommands::scrollToEnd);
}

frmAbout *ViewCommands::aboutWindow() const
{
    return m_about;
}

void ViewCommands::toggle(FontGetter get, FontSetter set)
{
    guardedStep([&] {
        TranscriptView &box = *m_window.Text1();
        QFont font = box.font();
        (font.*set)(!(font.*get)());
        box.setFont(font);
    });
    guardedStep([&] { m_window.mnunone()->setChecked(false); });
}

void ViewCommands::setFontAttribute(FontSetter set, bool on)
{
    TranscriptView &box = *m_window.Text1();
    QFont font = box.font();
    (font.*set)(on);
    box.setFont(font);
}

void ViewCommands::plainStyle()
{
    // Set, not flipped: clicking a checked "Normal" leaves its mark on (the
    // click itself has just taken it off).
    guardedStep([&] { m_window.mnunone()->setChecked(true); });
    guardedStep([&] { m_window.mnubold()->setChecked(false); });
    guardedStep([&] { m_window.mnuitallic()->setChecked(false); });
    guardedStep([&] { m_window.mnuunderlined()->setChecked(false); });
    guardedStep([&] { setFontAttribute(&QFont::setBold, false); });
    guardedStep([&] { setFontAttribute(&QFont::setItalic, false); });
    guardedStep([&] { setFontAttribute(&QFont::setUnderline, false); });
}

void ViewCommands::scrollToEnd()
{
    // Caret after the last character, nothing selected; placing the caret
    // scrolls the end into view. Text typed into the middle thereby sends the
    // caret to the end, and the next key types there. Constant time: it runs
    // once per appended line.
    TranscriptView &box = *m_window.Text1();
    box.setCaretPosition(box.textLength());
}

void ViewCommands::openAbout()
{
    // The menu is blocked while the window is open, so this only guards
    // against a second window being stacked over the first.
    if (m_about) {
        m_about->raise();
        return;
    }
    m_about = new frmAbout(&m_window);
    // open(), not exec(): the window is just as modal over Form1, and the
    // command returns at once instead of running a nested event loop under
    // the menu; the server goes on relaying either way.
    m_about->open();
}
