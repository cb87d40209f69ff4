#include "frmSendStatus.h"

#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

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
        value = NamedLabel(frame, name, text);
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
    setWindowIcon(ProgramIcon());

    lblDestination->clear();
    lblPage->clear();
    lblSpeed->clear();
    adjustSize();
    m_keptSize = size();
    // The border does not resize it: no strip is left unpainted behind a drag.
    setFixedSize(m_keptSize);
    Prompt::fixedWindowHints(this);
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
