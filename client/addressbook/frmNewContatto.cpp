#include "frmNewContatto.h"

#include "Recipients.h"

#include "ContactsItem.h"
#include "ErrorReporting.h"
#include "QuorinSock.h"
#include "StringTable.h"
#include "ThemeIcons.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLineEdit *addField(QWidget *form, QFormLayout *layout, const QString &name, const QString &label)
{
    auto *box = new QLineEdit(form);
    box->setObjectName(name);
    layout->addRow(label, box);
    return box;
}

} // namespace

frmNewContatto::frmNewContatto(QuorinSock *clientSock, QWidget *parent) : QDialog(parent), m_sock(clientSock)
{
    setObjectName(u"frmNewContatto"_s);
    setWindowTitle(u"Contatto"_s);
    setWindowIcon(ThemeIcons::named(u"contact-new"_s));

    auto *anag = new QGroupBox(this);
    anag->setObjectName(u"FrameAnagrafici"_s);
    auto *anagLayout = new QFormLayout(anag);
    auto *addr = new QGroupBox(u"Indirizzo"_s, this);
    addr->setObjectName(u"FrameIndirizzo"_s);
    auto *addrLayout = new QFormLayout(addr);
    auto *refs = new QGroupBox(this);
    refs->setObjectName(u"FrameRiferimenti"_s);
    auto *refsLayout = new QFormLayout(refs);

    QLineEdit *nome = addField(anag, anagLayout, u"txtNome"_s, u"Nome"_s);
    QLineEdit *cognome = addField(anag, anagLayout, u"txtCognome"_s, u"Cognome"_s);
    QLineEdit *azienda = addField(anag, anagLayout, u"txtAzienda"_s, u"Azienda"_s);
    m_shared = new QCheckBox(u"Condiviso"_s, anag);
    m_shared->setObjectName(u"CheckCondiviso"_s);
    anagLayout->addRow(QString(), m_shared);
    QLineEdit *via = addField(addr, addrLayout, u"txtVia"_s, u"Via"_s);
    QLineEdit *cap = addField(addr, addrLayout, u"txtCAP"_s, u"CAP"_s);
    QLineEdit *localita = addField(addr, addrLayout, u"txtLocalita"_s, u"Località"_s);
    QLineEdit *prov = addField(addr, addrLayout, u"txtProv"_s, u"Provincia"_s);
    QLineEdit *tel = addField(refs, refsLayout, u"txtTelefono"_s, u"Telefono"_s);
    QLineEdit *tel2 = addField(refs, refsLayout, u"txtTelefono2"_s, u"Telefono2"_s);
    QLineEdit *fax = addField(refs, refsLayout, u"txtFax"_s, u"Fax"_s);
    QLineEdit *mail = addField(refs, refsLayout, u"txtMail"_s, u"email"_s);
    m_fields = {nome, cognome, via, cap, localita, prov, tel, tel2, fax, azienda, mail};

    auto *ok = new QPushButton(u"&Ok"_s, this);
    ok->setObjectName(u"CmdOK"_s);
    m_cancel = new QPushButton(u"&Annulla"_s, this);
    m_cancel->setObjectName(u"cmdAnnulla"_s);
    ok->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &frmNewContatto::CmdOK_Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(anag);
    layout->addWidget(addr);
    layout->addWidget(refs);
    layout->addLayout(buttons);

    setTabOrder(nome, cognome);
    setTabOrder(cognome, azienda);
    setTabOrder(azienda, m_shared);
    setTabOrder(m_shared, via);
    setTabOrder(via, cap);
    setTabOrder(cap, localita);
    setTabOrder(localita, prov);
    setTabOrder(prov, tel);
    setTabOrder(tel, tel2);
    setTabOrder(tel2, fax);
    setTabOrder(fax, mail);
    setTabOrder(mail, ok);
    setTabOrder(ok, m_cancel);
}

void frmNewContatto::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        Load();
    QDialog::showEvent(event);
}

void frmNewContatto::Load()
{
    m_loaded = true;
    m_okPressed = false;
    m_cameAs.clear();
    if (m_item && !m_nuovo) {
        const ContactsItem &c = *m_item;
        const QStringList values = {c.FirstName(), c.Surname(),   c.Address(),   c.ZipCode(),
                                    c.City(),      c.Provincia(), c.TelePhone(), c.TelePhone2(),
                                    c.FaxNumber(), c.Company(),   c.email()};
        m_cameAs = values;
        for (int i = 0; i < m_fields.size(); ++i)
            m_fields[i]->setText(Recipients::ShownText(values[i]));
        m_shared->setChecked(c.IsPublic());
    } else if (m_nuovo) {
        m_shared->setChecked(true); // a new contact is shared unless the user says otherwise
    }
}

QStringList frmNewContatto::texts() const
{
    QStringList t;
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        const QString text = m_fields[i]->text();
        // A value left as it came goes back with its control characters as spaces, not as the signs shown for them.
        if (i < m_cameAs.size() && text == Recipients::ShownText(m_cameAs[i]))
            t.append(Recipients::FlatText(m_cameAs[i]).normalized(QString::NormalizationForm_C));
        else
            t.append(text.normalized(QString::NormalizationForm_C)); // typed or pasted, composed
    }
    return t;
}

void frmNewContatto::showRefusal(int first, int second)
{
    QString text = LoadResString(first);
    if (second)
        text += u"\r\n"_s + LoadResString(second);
    MsgBoxEx(this, text, QMessageBox::Critical);
}

void frmNewContatto::CmdOK_Click()
{
    m_okPressed = true;
    if (!m_sock) {
        ShowErrorMessage(ErrNumber::InvalidArgument, u"Collegamento al server non disponibile"_s,
                         u"frmNewContatto.CmdOK_Click"_s);
        return;
    }
    const QStringList t = texts();
    // A field the server would misread is named and the contact stays in the window.
    static const QString labels[] = {u"Nome"_s,     u"Cognome"_s,  u"Via"_s,       u"CAP"_s,
                                     u"Località"_s, u"Provincia"_s, u"Telefono"_s, u"Telefono2"_s,
                                     u"Fax"_s,      u"Azienda"_s,  u"email"_s};
    for (qsizetype i = 0; i < t.size() && i < qsizetype(std::size(labels)); ++i) {
        if (const QString problem = Recipients::FieldProblem(labels[i], t[i]); !problem.isEmpty()) {
            MsgBoxEx(this, problem, QMessageBox::Critical);
            m_fields[i]->setFocus();
            return;
        }
    }
    QList<std::pair<QString, QString>> fitted;
    for (qsizetype i = 0; i < t.size() && i < qsizetype(std::size(labels)); ++i)
        fitted.append({labels[i], t[i]});
    if (const QString changes = Recipients::BestFitChanges(fitted); !changes.isEmpty()) {
        if (MsgBoxEx(this, changes + u"\r\nSalvare comunque?"_s, QMessageBox::Question,
                     QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    const bool isPublic = m_shared->isChecked();
    if (m_nuovo) {
        const int r = m_sock->SendNewContact(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9],
                                             t[10], isPublic);
        if (r == 0) {
            ClearContactFields();
            m_cancel->setText(u"&Chiudi"_s);
        } else if (r == -97) {
            showRefusal(2080, 2081);
        } else if (r == -1) {
            showRefusal(2080);
        }
        return;
    }
    const int r = m_sock->UpdateContact(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10],
                                        isPublic, m_chiave);
    switch (r) {
    case 0:
        accept();
        break;
    case -99:
        showRefusal(2082, 2079);
        break;
    case -98:
        showRefusal(2082, 2083);
        break;
    case -97:
        showRefusal(2082, 2081);
        break;
    case -1:
        showRefusal(2082);
        break;
    default:
        break;
    }
}

void frmNewContatto::ClearContactFields()
{
    m_item = nullptr;
    m_cameAs.clear();
    for (QLineEdit *f : m_fields)
        f->clear();
}

void frmNewContatto::done(int result)
{
    m_item = nullptr;
    m_loaded = false;
    QDialog::done(result);
}
