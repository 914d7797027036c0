#pragma once

#include <QFont>
#include <QObject>
#include <QPointer>

class Form1;
class QAction;
class frmAbout;

// The operator's commands on the view of the transcript Text1: the bold,
// italic and underline toggles and "Normal" under "Biçimlendirme", emptying
// the transcript, following its end on every change, and opening the about
// window. None of them sends anything or touches the roster or the channels.
//
// The check marks and the font attributes are two separate sets of state and
// are never derived from each other: each command flips a value by reading
// the very thing it flips. The window opens with the font bold and "Normal"
// checked, so the first "Kalın" makes the text plain and checks "Kalın".
//
// All of it works while the chat frame (and the transcript with it) is
// disabled: menu actions do not belong to the frame, and a disabled text box
// still takes font and caret changes from code.
class ViewCommands final : public QObject
{
    Q_OBJECT

public:
    explicit ViewCommands(Form1 &window);

    // The about window while it is open, else null.
    frmAbout *aboutWindow() const;

private:
    using FontSetter = void (QFont::*)(bool);
    using FontGetter = bool (QFont::*)() const;

    void toggle(FontGetter get, FontSetter set);
    void setFontAttribute(FontSetter set, bool on);
    void plainStyle();
    void scrollToEnd();
    void openAbout();

    Form1 &m_window;
    QPointer<frmAbout> m_about;
};
