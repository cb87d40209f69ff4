#include "frmOptions.h"

#include "ConfigIni.h"
#include "FormHelpers.h"
#include "ProfileFile.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "SystemUtils.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmOptions::frmOptions(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmOptions"_s);
    setWindowTitle(u"Opzioni"_s);
    setProperty("Tag", u"1058"_s);
    setWindowIcon(ProgramIcon());
    setModal(true);

    fraSample1 = new QGroupBox(u"Opzioni"_s, this);
    fraSample1->setObjectName(u"fraSample1"_s);
    fraSample1->setProperty("Tag", u"1058"_s);
    auto *form = new QFormLayout;
    const auto text = [&](const QString &name, const QString &label, const QString &tip = {}) {
        auto *box = new QLineEdit(fraSample1);
        box->setObjectName(name);
        box->setToolTip(tip);
        form->addRow(label, box);
        connect(box, &QLineEdit::textChanged, this, [this] { cmdApply->setEnabled(true); });
        return box;
    };
    txtUserID = text(u"txtUserID"_s, u"Nome Utente:"_s);
    txtCompany = text(u"txtCompany"_s, u"Azienda:"_s);
    txtNumberFax = text(u"txtNumberFax"_s, u"Numero Fax:"_s);
    txtTel = text(u"txtTel"_s, u"Numero di Telefono:"_s);
    txtRetries = text(u"txtRetries"_s, u"Numero tentativi reinvio:"_s,
                      u"Indicare il numero massimo di tentativi di reinvio del fax."_s);
    txtDelayRetries = text(u"txtDelayRetries"_s, u"Ritardo (s):"_s,
                           u"indicare il tempo in secondi tra un tentativo e l'altro"_s);

    auto *boxes = new QVBoxLayout;
    const auto check = [&](const QString &name, const QString &caption, bool enablesApply,
                           const QString &tip = {}) {
        auto *box = new QCheckBox(caption, fraSample1);
        box->setObjectName(name);
        box->setToolTip(tip);
        boxes->addWidget(box);
        if (enablesApply)
            connect(box, &QCheckBox::clicked, this, [this] { cmdApply->setEnabled(true); });
        return box;
    };
    chkResolution = check(u"chkResolution"_s, u"Alta Risoluzione"_s, true);
    chkMail = check(u"chkMail"_s, u"Abilitazione mail"_s, true);
    ChkRubCond = check(u"ChkRubCond"_s, u"Utilizza Rubrica Condivisa"_s, true);
    ChkAskRes = check(u"ChkAskRes"_s, u"Chiedi risoluzione al salvataggio del fax."_s, true,
                      u"Se attivo allora viene richiesta la risoluzione in DPI del fax al momento del "
                      u"\"Salva con nome\""_s);
    ChkVisMess = check(u"ChkVisMess"_s, u"Visualizza messaggio alla ricezione del fax"_s, true);
    ChkLog = check(u"ChkLog"_s, u"Log Attivo"_s, true);
    ChkLive = check(u"ChkLive"_s, u"Lancia Quorin Live"_s, true,
                    u"Se attivo lancia automaticamente QuorinLive all'avvio del Pc"_s);
    chkNoFormInvio =
        check(u"chkNoFormInvio"_s, u"Non visualizzare finestra stato avanzamento invio fax."_s, false);
    chkTrayIconTX = check(u"chkTrayIconTX"_s, u"Visualizza TrayIcon all'invio di un fax."_s, false);

    auto *frameLayout = new QVBoxLayout(fraSample1);
    frameLayout->addLayout(form);
    frameLayout->addLayout(boxes);

    const auto button = [this](const QString &name, const QString &caption, const QString &tag) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setProperty("Tag", tag);
        return b;
    };
    cmdOK = button(u"cmdOK"_s, u"OK"_s, u"1065"_s);
    cmdCancel = button(u"cmdCancel"_s, u"Annulla"_s, u"1064"_s);
    cmdApply = button(u"cmdApply"_s, u"&Applica"_s, u"1063"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraSample1);
    layout->addLayout(buttons);
    WindowPlacement::fixSize(this);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);

    LocalizeForm(this);
    LoadServerOptions();
    cmdApply->setEnabled(false); // filling the boxes enabled it
}

void frmOptions::LoadServerOptions()
{
    txtUserID->setText(ConfigIni.Name);
    txtCompany->setText(ConfigIni.Company);
    txtNumberFax->setText(ConfigIni.Fax);
    txtTel->setText(ConfigIni.Voice);
    txtRetries->setText(QString::number(ConfigIni.Retries));
    txtDelayRetries->setText(QString::number(ConfigIni.DelayRetries));
    // Any value other than 0 is on, so a stored 2 or 7 shows as on instead of stopping the filling.
    chkResolution->setChecked(ConfigIni.Resolution != 0);
    chkMail->setChecked(ConfigIni.AbilitaMail != 0);
    ChkRubCond->setChecked(ConfigIni.RubricaCondivisa);
    ChkAskRes->setChecked(ConfigIni.ChiediRisoluzione);
    ChkVisMess->setChecked(ConfigIni.VisualizzaMsgFaxRx);
    ChkLog->setChecked(IsSettingOn(ConfigIni.Log));
    ChkLive->setChecked(IsSettingOn(ConfigIni.Live));
    chkNoFormInvio->setChecked(IsSettingOn(ConfigIni.NoFormInvio));
    chkTrayIconTX->setChecked(IsSettingOn(ConfigIni.TrayIconTX));
    const auto shown = fileValues();
    m_shown = QHash<QString, QString>(shown.cbegin(), shown.cend());
}

QList<std::pair<QString, QString>> frmOptions::fileValues() const
{
    return {
        {u"Name"_s, txtUserID->text()},
        {u"Company"_s, txtCompany->text()},
        {u"Fax"_s, txtNumberFax->text()},
        {u"Voice"_s, txtTel->text()},
        {u"Retries"_s, txtRetries->text()},
        {u"DelayRetries"_s, txtDelayRetries->text()},
        {u"Resolution"_s, chkResolution->isChecked() ? u"1"_s : u"0"_s},
        {u"AbilitaMail"_s, chkMail->isChecked() ? u"1"_s : u"0"_s},
        {u"Log"_s, ChkLog->isChecked() ? u"Y"_s : QString()},
        {u"RubricaCondivisa"_s, ChkRubCond->isChecked() ? u"Y"_s : QString()},
        {u"ChiediRisoluzione"_s, ChkAskRes->isChecked() ? u"Y"_s : QString()},
        {u"VisualizzaMsgFaxRx"_s, ChkVisMess->isChecked() ? u"Y"_s : QString()},
        {u"Live"_s, ChkLive->isChecked() ? u"Y"_s : QString()},
        {u"NoFormInvio"_s, chkNoFormInvio->isChecked() ? u"Y"_s : QString()},
        {u"TrayIconTX"_s, chkTrayIconTX->isChecked() ? u"Y"_s : QString()},
    };
}

bool frmOptions::checkNumber(QLineEdit *box, const QString &label)
{
    bool ok = false;
    box->text().trimmed().toShort(&ok);
    if (ok)
        return true;
    Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                    u"Il valore \""_s + box->text() + u"\" di \""_s + label +
                        u"\" non è valido: indicare un numero intero (al massimo 32767)."_s);
    box->setFocus();
    return false;
}

bool frmOptions::SaveServerOptions()
{
    // A retry count that is not a number would be written and break the next start: check first.
    if (!checkNumber(txtRetries, u"Numero tentativi reinvio:"_s) ||
        !checkNumber(txtDelayRetries, u"Ritardo (s):"_s))
        return false;

    // Another program holding the settings file: told at once, and the dialog keeps what was typed.
    if (ProfileFile::lockedByOther(ConfigIniFile())) {
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                        u"Le opzioni non sono state salvate: il file delle impostazioni %1 è bloccato da un altro "
                        u"programma. Riprovare tra qualche istante."_s.arg(
                            QDir::toNativeSeparators(ConfigIniFile())));
        return false;
    }
    // Only what the user changed since the dialog showed it is written: a key another program saved
    // meanwhile (the sender's dialog shares this file) keeps its value. The first key that cannot be
    // written stops the save (its box said why).
    QHash<QString, QString> written = m_shown;
    for (const auto &[key, value] : fileValues()) {
        if (m_shown.value(key) == value)
            continue;
        if (!WriteConfigKey(key, value))
            return false;
        written.insert(key, value);
    }
    m_shown = written;

    ConfigIni.Log = ChkLog->isChecked() ? u"Y"_s : QString();
    ApplyLogSetting(ChkLog->isChecked());
    ConfigIni.RubricaCondivisa = ChkRubCond->isChecked();
    ConfigIni.ChiediRisoluzione = ChkAskRes->isChecked();
    Q_EMIT AskResSaveAsApplied(ConfigIni.ChiediRisoluzione);
    ConfigIni.VisualizzaMsgFaxRx = ChkVisMess->isChecked();
    ConfigIni.Live = ChkLive->isChecked() ? u"Y"_s : QString();
    if (ChkLive->isChecked())
        EnableLiveAutostart();
    else
        DisableLiveAutostart();

    ConfigIni.Name = txtUserID->text();
    ConfigIni.Company = txtCompany->text();
    ConfigIni.Fax = txtNumberFax->text();
    ConfigIni.Voice = txtTel->text();
    ConfigIni.Retries = txtRetries->text().trimmed().toShort();
    ConfigIni.DelayRetries = txtDelayRetries->text().trimmed().toShort();
    ConfigIni.Resolution = chkResolution->isChecked() ? 1 : 0;
    ConfigIni.AbilitaMail = chkMail->isChecked() ? 1 : 0;
    Q_EMIT isMailApplied(ConfigIni.AbilitaMail != 0);

    ConfigIni.TrayIconTX = chkTrayIconTX->isChecked() ? u"Y"_s : QString();
    ConfigIni.NoFormInvio = chkNoFormInvio->isChecked() ? u"Y"_s : QString();
    return true;
}

void frmOptions::cmdOK_Click()
{
    if (ApplyOptions())
        accept();
}

void frmOptions::cmdApply_Click()
{
    if (ApplyOptions())
        cmdApply->setEnabled(false);
}

void frmOptions::cmdCancel_Click()
{
    reject();
}
