#include "frmAbout2.h"

#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "WindowPlacement.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmAbout2::frmAbout2(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout2"_s);
    // Owned by whoever runs it (it lives as long as its exec()), never deleted by its own close.
    setWindowTitle(u"QUORIN"_s);
    setWindowIcon(ProgramIcon());
    Picture1 = NamedLabel(this, u"Picture1"_s);
    Picture1->setPixmap(ProgramLogo(240, 90));
    lblVersion = NamedLabel(this, u"lblVersion"_s, u"Versione "_s + ProgramVersion());
    Label1 = NamedLabel(this, u"Label1"_s, u"Quorin fax client"_s);
    Label2 = NamedLabel(this, u"Label2"_s, u"Client per il server fax di rete"_s);
    Label3 = NamedLabel(this, u"Label3"_s, u"Realizzato con Qt"_s);
    lblDisclaimer = NamedLabel(this, u"lblDisclaimer"_s,
                               u"Questo programma \u00e8 fornito cos\u00ec com'\u00e8, senza garanzie."_s);
    lblDisclaimer->setWordWrap(true);
    for (QLabel *label : {Label1, Label2, Label3, lblDisclaimer}) {
        label->setAutoFillBackground(true);
        QPalette pal = label->palette();
        pal.setColor(QPalette::Window, QColor(7, 12, 212));
        pal.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(pal);
    }
    cmdClose = new QPushButton(u"Chiudi"_s, this);
    cmdClose->setObjectName(u"cmdClose"_s);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    auto *box = new QVBoxLayout(this);
    for (QWidget *w : {static_cast<QWidget *>(Picture1), static_cast<QWidget *>(lblVersion),
                       static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label2),
                       static_cast<QWidget *>(Label3), static_cast<QWidget *>(lblDisclaimer)})
        box->addWidget(w);
    box->addWidget(cmdClose, 0, Qt::AlignRight);
    CenterForm(this);
    // Fixed in size, and in the middle of the screen at the size it shows at.
    WindowPlacement::fixSize(this);
    WindowPlacement::centerWhenShown(this);
}
