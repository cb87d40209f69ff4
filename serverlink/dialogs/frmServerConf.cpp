#include "frmServerConf.h"

#include "LinkUtils.h"
#include "Prompt.h"
#include "WindowPlacement.h"
#include "frmServersAvaliable.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString NumericMessage = u"Il valore deve essere di tipo numerico"_s;
const QString RangeMessage = u"Il valore deve essere compreso tra 1 e 65535"_s;

// A number as the user may type it: blanks around, a sign, a decimal part after "." or ",".
std::optional<double> numberFromText(const QString &text)
{
    static const QRegularExpression number(uR"(^\s*([+-]?)(\d+)(?:[.,](\d*))?\s*$)"_s);
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const QString digits = m.captured(2) + u'.' + m.captured(3) + u'0';
    const double value = digits.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return m.captured(1) == u"-" ? -value : value;
}

QPointer<frmServerConf> &theInstance()
{
    static QPointer<frmServerConf> window;
    return window;
}

} // namespace

frmServerConf::frmServerConf(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmServerConf"_s);
    setWindowTitle(u"Configurazione del Server"_s);
    m_frame = new QGroupBox(u"Opzioni Server"_s, this);
    m_frame->setObjectName(u"fraTCP"_s);
    auto *serverLabel = new QLabel(u"Server:"_s, m_frame);
    m_server = new QLineEdit(m_frame);
    m_server->setObjectName(u"txtSockServer"_s);
    m_select = new QPushButton(u"..."_s, m_frame);
    m_select->setObjectName(u"cmdSelectServer"_s);
    m_select->setVisible(!LinkUtils::GetWinPlatform());
    auto *portLabel = new QLabel(u"Porta:"_s, m_frame);
    m_port = new QLineEdit(m_frame);
    m_port->setObjectName(u"txtSockPort"_s);
    m_port->installEventFilter(this);
    auto *grid = new QGridLayout(m_frame);
    grid->addWidget(serverLabel, 0, 0);
    grid->addWidget(m_server, 0, 1);
    grid->addWidget(m_select, 0, 2);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(m_port, 1, 1);

    m_okButton = new QPushButton(u"OK"_s, this);
    m_okButton->setObjectName(u"cmdOK"_s);
    m_okButton->setDefault(true);
    m_cancel = new QPushButton(u"Annulla"_s, this);
    m_cancel->setObjectName(u"cmdCancel"_s);
    m_apply = new QPushButton(u"&Applica"_s, this);
    m_apply->setObjectName(u"cmdApply"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addLayout(buttons);

    connect(m_server, &QLineEdit::textEdited, this, [this] { m_apply->setEnabled(true); });
    connect(m_port, &QLineEdit::textEdited, this, [this] { m_apply->setEnabled(true); });
    connect(m_okButton, &QPushButton::clicked, this, &frmServerConf::onOk);
    connect(m_apply, &QPushButton::clicked, this, &frmServerConf::onApply);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_select, &QPushButton::clicked, this, &frmServerConf::onSelectServer);
    WindowPlacement::fixSize(this);
    WindowPlacement::centerWhenShown(this);
}

frmServerConf *frmServerConf::instance()
{
    QPointer<frmServerConf> &window = theInstance();
    if (!window) {
        window = new frmServerConf;
        // Gone with the application, while it still exists.
        qAddPostRoutine([] { delete theInstance().data(); });
    }
    return window;
}

void frmServerConf::Load()
{
    m_server->setText(m_sockServer);
    m_port->setText(QString::number(m_sockPort));
    m_apply->setEnabled(false);
    m_select->setVisible(!LinkUtils::GetWinPlatform());
    Ok = false;
    LinkUtils::CenterForm(this);
}

std::optional<qint32> frmServerConf::portFromText(const QString &text)
{
    const std::optional<double> value = numberFromText(text);
    if (!value)
        return std::nullopt;
    const double port = std::floor(*value);
    if (port < 1 || port > 65535)
        return std::nullopt;
    return qint32(port);
}

bool frmServerConf::validatePort()
{
    if (portFromText(m_port->text()))
        return true;
    // Guard: the message box takes the focus, which would run this check again.
    m_validating = true;
    Prompt::message(this, QMessageBox::Warning, QString(),
                    numberFromText(m_port->text()) ? RangeMessage : NumericMessage);
    m_validating = false;
    m_port->setFocus();
    m_port->selectAll();
    return false;
}

bool frmServerConf::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_port && event->type() == QEvent::FocusOut && !m_validating && isVisible()) {
        // After the focus has moved, so that setting it back sticks.
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && !m_validating && !portFromText(m_port->text()))
                validatePort();
        });
    }
    return QDialog::eventFilter(watched, event);
}

void frmServerConf::SaveServerOptions()
{
    m_sockServer = m_server->text();
    if (const std::optional<qint32> port = portFromText(m_port->text()))
        m_sockPort = *port;
}

bool frmServerConf::saveChecked()
{
    if (!validatePort())
        return false;
    // A blank name would be taken as confirmed and connected to.
    if (m_server->text().trimmed().isEmpty()) {
        Prompt::message(this, QMessageBox::Critical, u"Attenzione"_s, u"Specificare un nome per il Server"_s);
        m_server->setFocus();
        return false;
    }
    SaveServerOptions();
    Ok = true;
    return true;
}

void frmServerConf::onOk()
{
    if (saveChecked())
        accept();
}

void frmServerConf::onApply()
{
    if (!saveChecked())
        return;
    m_apply->setEnabled(false);
    Prompt::message(this, QMessageBox::Information, u"Attenzione"_s,
                    u"E' necessario riavviare per collegarsi al nuovo server."_s);
}

void frmServerConf::onSelectServer()
{
    frmServersAvaliable list(this);
    const std::optional<double> port = numberFromText(m_port->text());
    list.PortConnection = port ? qint32(std::lround(*port)) : 0;
    list.EseguiSearch = true;
    list.UserName = UserName;
    list.TimeSearch = TimeSearch;
    list.Load();
    Prompt::exec(&list);
    if (list.Ok) {
        m_server->setText(list.ServerSelected);
        m_apply->setEnabled(true);
    }
}

bool runServerConf(QString &server, int &port, int modal, const QString &userName, int timeSearch)
{
    frmServerConf *conf = frmServerConf::instance();
    conf->m_sockServer = server;
    conf->m_sockPort = port;
    conf->UserName = userName;
    conf->TimeSearch = timeSearch;
    conf->Load();
    if (modal == 0) {
        conf->show();
        return false;
    }
    Prompt::exec(conf);
    if (!conf->Ok)
        return false;
    server = conf->m_sockServer;
    port = conf->m_sockPort;
    return true;
}
