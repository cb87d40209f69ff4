#include "frmResolution.h"

#include "Prompt.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
// Resolutions past this are no fax or scanner resolution; they would only blow pages up.
constexpr int kMaxDpi = 9999;
} // namespace

frmResolution::frmResolution(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmResolution"_s);
    setWindowTitle(u"Risoluzione"_s);
    setModal(true);

    auto *frame = new QGroupBox(u"Risoluzione in DPI"_s, this);
    frame->setObjectName(u"frameRis"_s);
    auto *lblX = new QLabel(u"X"_s, frame);
    lblX->setObjectName(u"lblX"_s);
    auto *lblY = new QLabel(u"Y"_s, frame);
    lblY->setObjectName(u"lblY"_s);
    m_txtXdpi = new QLineEdit(frame);
    m_txtXdpi->setObjectName(u"txtXdpi"_s);
    m_txtYdpi = new QLineEdit(frame);
    m_txtYdpi->setObjectName(u"txtYdpi"_s);
    for (QLineEdit *box : {m_txtXdpi, m_txtYdpi}) {
        box->setMaxLength(4);
        box->installEventFilter(this);
    }
    auto *grid = new QGridLayout(frame);
    grid->addWidget(lblX, 0, 0);
    grid->addWidget(m_txtXdpi, 0, 1);
    grid->addWidget(lblY, 1, 0);
    grid->addWidget(m_txtYdpi, 1, 1);

    auto *cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    auto *cmdCancel = new QPushButton(u"Annulla"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    connect(cmdOK, &QPushButton::clicked, this, &frmResolution::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmResolution::cmdCancel_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
}

void frmResolution::setValues(int xDpi, int yDpi)
{
    m_txtXdpi->setText(QString::number(xDpi));
    m_txtYdpi->setText(QString::number(yDpi));
}

int frmResolution::leadingNumber(const QString &text)
{
    const QString t = text.trimmed();
    qint64 v = 0;
    for (QChar c : t) {
        if (c < u'0' || c > u'9')
            break;
        v = v * 10 + (c.unicode() - u'0');
        if (v > kMaxDpi * 10LL)
            break;
    }
    return int(std::min<qint64>(v, kMaxDpi * 10LL));
}

int frmResolution::xDpi() const
{
    return leadingNumber(m_txtXdpi->text());
}
int frmResolution::yDpi() const
{
    return leadingNumber(m_txtYdpi->text());
}

// Digits, backspace and Enter pass; any other character is dropped with a beep.
bool frmResolution::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_txtXdpi || watched == m_txtYdpi)) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (!text.isEmpty() && !(key->modifiers() & Qt::ControlModifier)) {
            const QChar c = text.at(0);
            const bool pass = (c >= u'0' && c <= u'9') || c == QChar(8) || c == QChar(13);
            if (!pass) {
                QApplication::beep();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmResolution::cmdOK_Click()
{
    const int x = xDpi(), y = yDpi();
    if (x <= 0 || y <= 0 || x > kMaxDpi || y > kMaxDpi) {
        Prompt::critical(this, QString(),
                         u"Attenzione!! Valore di X o Y non validi. Impossibile Confermare!"_s);
        return;
    }
    m_ok = true;
    accept(); // hides; the boxes stay readable
}

void frmResolution::cmdCancel_Click()
{
    m_ok = false;
    reject();
}
