#include "SmallWindows.h"

#include "FormHelpers.h"
#include "ListIcons.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

QString ProgramTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? u"Quorin"_s : name;
}

QString ProgramVersion()
{
    const QStringList parts = QCoreApplication::applicationVersion().split(u'.');
    QStringList out;
    for (int i = 0; i < 3; ++i)
        out << (i < parts.size() && !parts.at(i).isEmpty() ? parts.at(i) : u"0"_s);
    return out.join(u'.');
}

namespace {

QLabel *namedLabel(QWidget *parent, const QString &name, const QString &text = {})
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

frmSendStatus::frmSendStatus(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmSendStatus"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Invio fax in corso..."_s);
    auto *frame = new QGroupBox(this);
    frame->setObjectName(u"Frame1"_s);
    auto *grid = new QGridLayout(frame);
    const auto row = [&](int r, const QString &caption, QLabel *&value, const QString &name,
                         const QString &text) {
        grid->addWidget(new QLabel(caption, frame), r, 0);
        value = namedLabel(frame, name, text);
        value->setMinimumWidth(220);
        grid->addWidget(value, r, 1);
    };
    row(0, u"Operazione:"_s, lblStatus, u"lblStatus"_s, {});
    row(1, u"Avanzamento:"_s, lblPercent, u"lblPercent"_s, {});
    row(2, u"Destinatario:"_s, lblDestination, u"lblDestination"_s, {});
    row(3, u"Fax:"_s, lblFaxNumber, u"lblFaxNumber"_s, {});
    row(4, u"Pagina:"_s, lblPage, u"lblPage"_s, {});
    row(5, u"Tentativo:"_s, lblNumTentativo, u"lblNumTentativo"_s, {});
    row(6, u"Fax ID Remoto:"_s, lblRemoteID, u"lblRemoteID"_s, u"RemoteID"_s);
    row(7, u"Velocit\u00e0:"_s, lblSpeed, u"lblSpeed"_s, u"Speed"_s);
    cmdCancel = new QPushButton(u"&Chiudi"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    auto *box = new QVBoxLayout(this);
    box->addWidget(frame);
    box->addWidget(cmdCancel, 0, Qt::AlignRight);
    setWindowIcon(ListIcons::treeIcon(1));

    lblDestination->clear();
    lblPage->clear();
    lblSpeed->clear();
    adjustSize();
    m_keptSize = size();
}

void frmSendStatus::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    PlaceFormAtScreenEdge(this);
    // Lifted by its own height from the corner, both ways, so it does not cover the task bar's corner.
    const int h = frameGeometry().height();
    move(pos() - QPoint(h, h));
}

void frmSendStatus::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (!isMinimized() && m_keptSize.isValid() && event->size() != m_keptSize)
        resize(m_keptSize);
}

frmSplash::frmSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(u"frmSplash"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    picLogo = namedLabel(this, u"picLogo"_s);
    picLogo->setPixmap(ListIcons::logo(320, 120));
    lblVersion = namedLabel(this, u"lblVersion"_s);
    lblProductName = namedLabel(this, u"lblProductName"_s);
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

frmAbout2::frmAbout2(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout2"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"QUORIN"_s);
    setWindowIcon(ListIcons::treeIcon(1));
    Picture1 = namedLabel(this, u"Picture1"_s);
    Picture1->setPixmap(ListIcons::logo(240, 90));
    lblVersion = namedLabel(this, u"lblVersion"_s, u"Versione "_s + ProgramVersion());
    Label1 = namedLabel(this, u"Label1"_s, u"Quorin fax client"_s);
    Label2 = namedLabel(this, u"Label2"_s, u"Client per il server fax di rete"_s);
    Label3 = namedLabel(this, u"Label3"_s, u"Realizzato con Qt"_s);
    lblDisclaimer = namedLabel(this, u"lblDisclaimer"_s,
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
}

frmUpdateDownload::frmUpdateDownload(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmUpdateDownload"_s);
    setWindowTitle(ProgramTitle());
    setWindowIcon(ListIcons::treeIcon(1));
    pbDownLoad = new QProgressBar(this);
    pbDownLoad->setObjectName(u"pbDownLoad"_s);
    LblDwn = namedLabel(this, u"LblDwn"_s, LoadResString(2070));
    auto *box = new QVBoxLayout(this);
    box->addWidget(namedLabel(this, u"Label1"_s, u"Aggiornamento del programma"_s));
    box->addWidget(LblDwn);
    box->addWidget(pbDownLoad);
}
