#include "RUBfrmConfRub.h"

#include "ConfigIni.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

RUBfrmConfRub::RUBfrmConfRub(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"RUBfrmConfRub"_s);
    setWindowTitle(u"Configurazione Rubrica"_s);
    Check1 = new QCheckBox(u"Presenta selezione da rubrica anche per le email\n"
                           u"(se il client di posta elettronica è diverso da Outlook Express)"_s,
                           this);
    Check1->setObjectName(u"Check1"_s);
    Check1->setEnabled(ConfigIni.AbilitaMail != 0);
    Check1->setChecked(ConfigIni.ShowRubrica);
    auto *label = new QLabel(u"Campo da utilizzare per la spedizione via fax:"_s, this);
    label->setObjectName(u"Label1"_s);
    cboType = new QComboBox(this);
    cboType->setObjectName(u"cboType"_s);
    cboType->addItems({u"Fax ufficio"_s, u"Fax casa"_s});
    cboType->setCurrentIndex(ConfigIni.FieldRubrica == 3 ? 1 : 0);
    m_shownShow = Check1->isChecked();
    m_shownField = cboType->currentIndex();
    auto *save = new QPushButton(u"Salva e Chiudi"_s, this);
    save->setObjectName(u"cmdClose"_s);
    auto *cancel = new QPushButton(u"Annulla"_s, this);
    cancel->setObjectName(u"cmdCancel"_s);
    connect(save, &QPushButton::clicked, this, [this] {
        SaveBookSettings();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    layout->addWidget(label);
    layout->addWidget(cboType);
    layout->addLayout(buttons);
}

void RUBfrmConfRub::SaveBookSettings()
{
    // Only what the user changed is written: both programs' book windows share the settings file.
    const QString s = Check1->isChecked() ? u"1"_s : u"0"_s;
    ConfigIni.ShowRubrica = s != u"0"_s;
    if (Check1->isChecked() != m_shownShow && WriteConfigKey(u"ShowRubrica"_s, s))
        m_shownShow = Check1->isChecked();
    const QString f = cboType->currentText() == u"Fax casa"_s ? u"3"_s : u"2"_s;
    ConfigIni.FieldRubrica = f.toInt();
    if (cboType->currentIndex() != m_shownField && WriteConfigKey(u"FieldRubrica"_s, f))
        m_shownField = cboType->currentIndex();
}
