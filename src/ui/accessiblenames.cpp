#include "accessiblenames.h"

#include "ui/form1.h"
#include "ui/transcriptview.h"
#include "ui/frmabout.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTextEdit>

namespace {

// "Lakap  :" is spoken as "Lakap": the colon and the padding blanks only
// line the captions up on screen.
QString spoken(const QString &caption)
{
    QString name = caption.simplified();
    if (name.endsWith(u':'))
        name.chop(1);
    return name.trimmed();
}

// The label also becomes the box's buddy, so assistive tools can tell which
// caption belongs to which box.
void labelled(QWidget *box, QLabel *label)
{
    label->setBuddy(box);
    box->setAccessibleName(spoken(label->text()));
}

} // namespace

namespace AccessibleNames {

void apply(Form1 &w)
{
    w.Frame1()->setAccessibleName(spoken(w.Frame1()->title()));
    // The chat frame has no caption on screen; it holds the conversation.
    w.Frame2()->setAccessibleName(QStringLiteral("Yazışma"));
    labelled(w.Txtnick(), w.Label2());
    labelled(w.Text3(), w.Label3());
    w.Text1()->setAccessibleName(QStringLiteral("Yazışma metni"));
    w.Text2()->setAccessibleName(QStringLiteral("Mesaj"));
    labelled(w.List1(), w.Label1());
    w.Text4()->setAccessibleName(QStringLiteral("Aranan lakap"));
    // An opened menu speaks its own title, without the access-key marker.
    for (QMenu *menu : {w.mnuserver(), w.mnuformat()})
        menu->setAccessibleName(QString(menu->title()).remove(u'&'));
}

void apply(frmAbout &w)
{
    // The window's caption ("Form1") is never shown; it is the window that
    // "Yazan hakkında" opens.
    w.setAccessibleName(QStringLiteral("Yazan hakkında"));
    w.Label1()->setAccessibleName(spoken(w.Label1()->text()));
    w.Label2()->setAccessibleName(spoken(w.Label2()->text()));
    w.Text1()->setAccessibleName(QStringLiteral("Hakkında metni"));
}

} // namespace AccessibleNames
