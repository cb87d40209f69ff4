#include "frmUpdateDownload.h"

#include "ProgramInfo.h"
#include "StringTable.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel *namedLabel(QWidget *parent, const QString &name, const QString &text = {})
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

frmUpdateDownload::frmUpdateDownload(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmUpdateDownload"_s);
    setWindowTitle(ProgramTitle());
    setWindowIcon(ProgramIcon());
    pbDownLoad = new QProgressBar(this);
    pbDownLoad->setObjectName(u"pbDownLoad"_s);
    LblDwn = namedLabel(this, u"LblDwn"_s, LoadResString(2070));
    auto *box = new QVBoxLayout(this);
    box->addWidget(namedLabel(this, u"Label1"_s, u"Aggiornamento del programma"_s));
    box->addWidget(LblDwn);
    box->addWidget(pbDownLoad);
}
