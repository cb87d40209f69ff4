#include "frmSplash.h"

#include "FormHelpers.h"
#include "ProgramInfo.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// Above every other window (the main window too, which maps while it shows) until it closes.
frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"frmSplash"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    picLogo = NamedLabel(this, u"picLogo"_s);
    picLogo->setPixmap(ProgramLogo(320, 120));
    lblVersion = NamedLabel(this, u"lblVersion"_s);
    lblProductName = NamedLabel(this, u"lblProductName"_s);
    auto *box = new QVBoxLayout(this);
    box->addWidget(picLogo);
    box->addWidget(lblProductName);
    box->addWidget(lblVersion);
    LocalizeForm(this);
    lblVersion->setText(u"Version "_s + ProgramVersion());
    lblProductName->setText(ProgramTitle());
    tmrUnload = new QTimer(this);
    tmrUnload->setObjectName(u"tmrUnload"_s);
    tmrUnload->setInterval(1500);
    tmrUnload->setSingleShot(true);
    connect(tmrUnload, &QTimer::timeout, this, &QWidget::close);
    tmrUnload->start();
}
