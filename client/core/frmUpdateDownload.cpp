#include "frmUpdateDownload.h"

#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "StringTable.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmUpdateDownload::frmUpdateDownload(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmUpdateDownload"_s);
    setWindowTitle(ProgramTitle());
    setWindowIcon(ProgramIcon());
    pbDownLoad = new QProgressBar(this);
    pbDownLoad->setObjectName(u"pbDownLoad"_s);
    LblDwn = NamedLabel(this, u"LblDwn"_s, LoadResString(2070));
    auto *box = new QVBoxLayout(this);
    box->addWidget(NamedLabel(this, u"Label1"_s, u"Aggiornamento del programma"_s));
    box->addWidget(LblDwn);
    box->addWidget(pbDownLoad);
}
