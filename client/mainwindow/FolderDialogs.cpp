#include "FolderDialogs.h"

#include "Cp1252.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "Protocol.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FolderDialog::FolderDialog(const QString &objectName, const QString &caption, const QString &label,
                           QWidget *parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowIcon(ProgramIcon());
    setModal(true);

    lblName = new QLabel(label, this);
    lblName->setObjectName(u"lblName"_s);
    txtNameFolder = new QLineEdit(this);
    txtNameFolder->setObjectName(u"txtNameFolder"_s);
    txtNameFolder->installEventFilter(this);
    lblName->setBuddy(txtNameFolder);
    chkShared = new QCheckBox(u"Condivisa"_s, this);
    chkShared->setObjectName(u"chkShared"_s);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"Annulla"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblName);
    layout->addWidget(txtNameFolder);
    layout->addWidget(chkShared);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &FolderDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FolderDialog::cmdCancel_Click);
    FitTitle(this);
    WindowPlacement::fixSize(this);
}

void FolderDialog::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void FolderDialog::Form_Load()
{
    txtNameFolder->setText(NameFolder);
    chkShared->setChecked(bShared);
}

bool FolderDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtNameFolder && event->type() == QEvent::FocusOut)
        NameFolder = txtNameFolder->text();
    return QDialog::eventFilter(watched, event);
}

void FolderDialog::cmdOK_Click()
{
    if (txtNameFolder->text().isEmpty()) {
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                        u"Impossibile confermare! Inserire un nome cartella"_s);
        return;
    }
    const QString name = txtNameFolder->text();
    if (const QString piece = forbiddenPiece(name); !piece.isEmpty()) {
        refuseName(this, piece);
        return;
    }
    NameFolder = name;
    bShared = chkShared->isChecked();
    ok = true;
    accept();
}

QString FolderDialog::forbiddenPiece(const QString &name)
{
    // The server keeps the name inside its own frames and records: a separator in it would split them.
    for (const QString &piece : {Proto::FieldSeparatorText, Proto::TerminatorText, Proto::RecordSeparatorText,
                                 QString(Proto::ListSeparatorText), Proto::QuerySeparatorText,
                                 Proto::AnswerSeparatorText, Proto::FaxFieldSeparatorText}) {
        if (name.contains(piece))
            return piece;
    }
    // Letters the server's code page has no near letter for (CJK, emoji) cannot be sent either.
    return Cp1252::check(name).refused;
}

void FolderDialog::refuseName(QWidget *parent, const QString &piece)
{
    Prompt::message(parent, QMessageBox::Warning, ProgramTitle(),
                    u"Impossibile confermare! Il nome cartella non può contenere \""_s + piece + u"\""_s);
}

void FolderDialog::cmdCancel_Click()
{
    txtNameFolder->clear();
    ok = false;
    reject();
}

frmNewFolder::frmNewFolder(QWidget *parent)
    : FolderDialog(u"frmNewFolder"_s, u"Nuova Cartella"_s, u"Nome Nuova Cartella:"_s, parent)
{}

frmPropFolder::frmPropFolder(QWidget *parent)
    : FolderDialog(u"frmPropFolder"_s, u"Proprietà Cartella"_s, u"Nome Cartella:"_s, parent)
{}
