#pragma once

#include <QPushButton>

// A push button whose caption wraps onto as many lines as the button's width
// needs, the way a Windows command button shows a long caption. The caption
// itself stays one string (text(), the accessible name): only the drawing
// breaks it.
class WrappingButton final : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
