#pragma once

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;
namespace Ui {
class frmAbout;
}

// The about window: the program's name and version and a ten-line text that
// rises through the right part of the window like closing credits, until the
// operator presses "Tamam". It is made afresh for every opening and destroys
// itself when closed, so each opening starts the text from the bottom again.
class frmAbout final : public QDialog
{
    Q_OBJECT

public:
    // Positions of Text1's top edge in twips: where it starts, how far it
    // rises per tick, the top it wraps at and where it reappears.
    static constexpr float StartTop = 4050;
    static constexpr float Step = 10;
    static constexpr float WrapAt = -2350;
    static constexpr float WrapTo = 4900;
    static constexpr int TickMs = 20;

    explicit frmAbout(QWidget *owner);
    ~frmAbout() override;

    // The about text: ten lines, each ended by CR LF.
    static QString aboutText();

    QLabel *Label1() const;
    QLabel *Label2() const;
    QTextEdit *Text1() const;
    QPushButton *Command1() const;
    QTimer *Timer1() const { return m_Timer1; }

    // Text1's top edge in twips. Kept as a float, not read back from the
    // widget: the widget only holds whole pixels, and the sequence must stay
    // exactly 4050, 4040, ... down to the wrap.
    float text1Top() const { return m_top; }

    // Timer1's tick: one step up, wrapping within the same tick.
    void scrollTick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // "Tamam" is the only way out: Escape (and a window manager's close,
    // which ends up here) leaves the window open.
    void reject() override {}

private:
    void placeText1();
    void ok();

    std::unique_ptr<Ui::frmAbout> m_ui;
    QTimer *m_Timer1 = nullptr;
    float m_top = StartTop;
};
