// What of the operator window's layout form1.ui cannot hold: the fonts, which
// are found at run time; the labels' fit to their captions; the icon, built
// from several files; the title-bar buttons; and the window's size, which
// depends on the menu bar's height in the running style.
#include "form1.h"
#include "ui_form1.h"

#include "desktop/appicon.h"
#include "ui/fonts.h"
#include "ui/labelfitter.h"
#include "ui/twips.h"


namespace {

constexpr int ClientWidthTwips = 8625;
constexpr int ClientHeightTwips = 7590;
constexpr qreal TranscriptPoints = 9;

using Twips::pixels;

// Designer gives separators no names; the window's two have names of their own.
void nameSeparator(QMenu *menu, const char *name)
{
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            action->setObjectName(QLatin1String(name));
    }
}

} // namespace

void Form1::completeLayout()
{
    setWindowIcon(AppIcon::icon());
    setFont(UiFonts::sansSerif());
    // A sizable window with minimize but no maximize button: nothing follows
    // the window's size, so maximizing would only add empty space. The Close
    // button is taken away by the close guard.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    // Labels size themselves to their caption from the designed corner, as
    // an auto-sizing label does.
    m_ui->Label1->setFont(UiFonts::sansSerif(UiFonts::WindowPoints, true));
    for (QLabel *label : {m_ui->Label2, m_ui->Label3, m_ui->Label4})
        label->setFont(UiFonts::sansSerif());
    auto *fitter = new LabelFitter(this);
    for (QLabel *label : {m_ui->Label2, m_ui->Label3, m_ui->Label1, m_ui->Label4})
        fitter->watch(label);
    const QFont chatFont = UiFonts::tahoma(TranscriptPoints, true);
    m_ui->Text1->setFont(chatFont);
    m_ui->Text2->setFont(chatFont);
    m_ui->List1->setFont(chatFont);

    // Command1 is the window's default button: Enter in the input box sends
    // the line, as the operator of a chat expects. Outside dialogs Qt leaves
    // Enter to the line edit, so it is wired here; a disabled button (the chat
    // frame before the start) ignores the click.
    connect(m_ui->Text2, &QLineEdit::returnPressed, m_ui->Command1, &QPushButton::click);

    // Menus are drawn in Tahoma 8 pt, the menu font of the Windows the window
    // was designed on, rather than in the controls' face.
    const QFont menuFont = UiFonts::tahoma(UiFonts::WindowPoints);
    for (QWidget *menu : {static_cast<QWidget *>(m_ui->menubar), static_cast<QWidget *>(m_ui->mnuserver),
                          static_cast<QWidget *>(m_ui->mnuformat)})
        menu->setFont(menuFont);
    nameSeparator(m_ui->mnuserver, "sdfsd");
    nameSeparator(m_ui->mnuformat, "safsdf");

    // The client area is the designed size below the menu bar.
    resize(pixels(ClientWidthTwips),
           pixels(ClientHeightTwips) + m_ui->menubar->sizeHint().height());
    m_ui->Txtnick->setFocus();
}
