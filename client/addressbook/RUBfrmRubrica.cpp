#include "RUBfrmRubrica.h"

#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "KeyboardMenu.h"
#include "Prompt.h"
#include "RUBfrmConfRub.h"
#include "Recipients.h"
#include "Twips.h"
#include "frmLocalContact.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

RUBfrmRubrica::RUBfrmRubrica(QWidget *parent) : QDialog(parent), m_book(&LocalAddressBook::shared())
{
    setObjectName(u"RUBfrmRubrica"_s);
    setWindowTitle(u"Rubrica"_s);
    setMinimumSize(twipsX(this, 7500), twipsY(this, 6000));

    auto *label = new QLabel(u"Tipo di spedizione:"_s, this);
    label->setObjectName(u"Label1"_s);
    cboType = new QComboBox(this);
    cboType->setObjectName(u"cboType"_s);
    cboType->addItems({u"Email"_s, u"Fax ufficio"_s, u"Fax casa"_s});
    FraCont = new QGroupBox(u"Contatti"_s, this);
    FraCont->setObjectName(u"FraCont"_s);
    lstContacts = new QListWidget(FraCont);
    lstContacts->setObjectName(u"lstContacts"_s);
    lstContacts->setUniformItemSizes(true); // a book of thousands is laid out at once
    lstContacts->viewport()->installEventFilter(this);
    cmdA = NamedButton(FraCont, u"cmdA"_s, u"A   --->"_s);
    ListSelected = new QTreeWidget(FraCont);
    ListSelected->setObjectName(u"ListSelected"_s);
    ListSelected->setRootIsDecorated(false);
    ListSelected->installEventFilter(this);
    auto *cmdProp = NamedButton(this, u"cmdProp"_s, u"Proprietà"_s);
    auto *cmdNew = NamedButton(this, u"cmdNew"_s, u"Nuovo"_s);
    auto *cmdElim = NamedButton(this, u"cmdElim"_s, u"Elimina"_s);
    cmdConf = NamedButton(this, u"cmdConf"_s, u"Configura"_s);
    auto *CmdOk = NamedButton(this, u"CmdOk"_s, u"Ok"_s);
    auto *CmdCanc = NamedButton(this, u"CmdCanc"_s, u"Annulla"_s);

    mnuFile = new QMenu(u"File"_s, this);
    mnuFile->setObjectName(u"mnuFile"_s);
    QAction *mnuDati = mnuFile->addAction(u"Email - Fax"_s);
    mnuDati->setObjectName(u"mnuDati"_s);
    QAction *mnuEdit = mnuFile->addAction(u"Edit"_s);
    mnuEdit->setObjectName(u"mnuEdit"_s);
    // From the keyboard as with the right button: for the selected contact.
    KeyboardMenu::attach(lstContacts, [this] {
        const int index = currentIndex();
        if (index < 0)
            return;
        m_currentEntry = index;
        m_currentKey = currentKey();
        lstContacts->scrollToItem(lstContacts->currentItem());
        mnuFile->popup(KeyboardMenu::itemPoint(lstContacts));
    });

    auto *typeRow = new QHBoxLayout;
    typeRow->addWidget(label);
    typeRow->addWidget(cboType);
    typeRow->addStretch();
    auto *lists = new QHBoxLayout(FraCont);
    lists->addWidget(lstContacts, 1);
    lists->addWidget(cmdA, 0, Qt::AlignTop);
    lists->addWidget(ListSelected, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdProp, cmdNew, cmdElim, cmdConf})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(CmdOk);
    buttons->addWidget(CmdCanc);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(typeRow);
    layout->addWidget(FraCont, 1);
    layout->addLayout(buttons);

    connect(cmdA, &QPushButton::clicked, this, &RUBfrmRubrica::cmdA_Click);
    connect(CmdOk, &QPushButton::clicked, this, &RUBfrmRubrica::CmdOk_Click);
    connect(CmdCanc, &QPushButton::clicked, this, [this] {
        m_ok = false;
        reject();
    });
    connect(cmdElim, &QPushButton::clicked, this, &RUBfrmRubrica::cmdElim_Click);
    connect(cmdNew, &QPushButton::clicked, this, &RUBfrmRubrica::cmdNew_Click);
    connect(cmdProp, &QPushButton::clicked, this, &RUBfrmRubrica::cmdProp_Click);
    connect(mnuDati, &QAction::triggered, this, &RUBfrmRubrica::mnuDati_Click);
    connect(mnuEdit, &QAction::triggered, this, &RUBfrmRubrica::cmdProp_Click);
    connect(cmdConf, &QPushButton::clicked, this, [this] {
        auto *conf = new RUBfrmConfRub(this);
        conf->setAttribute(Qt::WA_DeleteOnClose);
        conf->show();
    });
    connect(lstContacts, &QListWidget::currentRowChanged, this, [this] {
        m_currentEntry = currentIndex();
        if (m_currentEntry >= 0)
            m_currentKey = m_book->contacts()[m_currentEntry].key;
    });
    // Another window or program changed the book: show what it holds now.
    connect(m_book, &LocalAddressBook::changed, this, [this] {
        if (!m_loaded)
            return;
        m_bookOpen = m_book->isOpen();
        LoadContacts();
    });
    connect(m_book, &LocalAddressBook::refreshed, this, [this](bool open, const QString &error) {
        if (!m_reading)
            return;
        m_reading = false;
        m_bookOpen = open;
        // Filled already by the book's change, or by a change of ours meanwhile.
        const bool filled = m_fills != m_fillsAtLoad;
        reportOpen(error);
        if (m_bookOpen && !filled)
            LoadContacts();
    });
}

void RUBfrmRubrica::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        Load();
    QDialog::showEvent(event);
}

void RUBfrmRubrica::Load()
{
    m_loaded = true;
    cmdConf->setVisible(m_showing == 0 && m_configurable);
    cmdA->setVisible(m_showing != 0);
    ListSelected->setVisible(m_showing != 0);
    if (m_showing == 0)
        resize(twipsX(this, 8000), twipsY(this, 7000));
    m_currentEntry = -1;
    m_currentKey.clear();
    if (m_openMode >= 1 && m_openMode <= 3)
        cboType->setCurrentIndex(m_openMode - 1);
    // A large book is read off this thread: the list is filled when the read lands (refreshed). Meanwhile
    // nothing is listed to act on, and a new card can still be added (its write reads the file itself).
    QString error;
    const LocalAddressBook::Refresh read = m_book->refreshInBackground(&error);
    m_reading = read == LocalAddressBook::Refresh::Reading;
    m_fillsAtLoad = m_fills;
    m_bookOpen = read != LocalAddressBook::Refresh::Failed;
    if (!m_reading) {
        reportOpen(error);
        if (m_bookOpen)
            LoadContacts();
    }
    SetupSelectionColumns();
    m_selectionKeyCounter = 0;
    m_ok = false;
}

void RUBfrmRubrica::reportOpen(const QString &error)
{
    if (!m_bookOpen)
        Prompt::critical(this, u"Attenzione"_s, error);
    else if (const QStringList problems = m_book->problems(); !problems.isEmpty())
        // The first problems are named, all of them are in the box's detail area.
        Prompt::detailed(
            this, QMessageBox::Warning, u"Attenzione"_s,
            u"Alcune righe della rubrica non sono state comprese del tutto. Nulla va perso: il testo fuori "
            u"dalle schede resta al suo posto, le schede non modificate restano come sono e al primo "
            u"salvataggio il file com'era viene copiato in «%1.bak».\n"_s.arg(m_book->path()) +
                Prompt::firstItems(problems),
            problems.size() > 10 ? problems.join(u'\n') : QString());
}

void RUBfrmRubrica::LoadContacts()
{
    const QString keep = m_currentKey;
    const int n = m_bookOpen ? m_book->count() : 0;
    ++m_fills;
    const QSignalBlocker quiet(lstContacts);
    lstContacts->setUpdatesEnabled(false);
    lstContacts->clear(); // a book emptied by a delete shows no stale row
    m_rowKeys.clear();
    m_currentEntry = -1;
    // An empty book at the first load keeps the caption "Rubrica"; once counted, it counts what is listed.
    if (n < 1 && !m_counted) {
        lstContacts->setUpdatesEnabled(true);
        return;
    }
    m_counted = true;
    // The rows in one insertion, their keys beside them (and the name as a pick takes it, where it
    // differs).
    QStringList names;
    names.reserve(n);
    m_rowKeys.reserve(n);
    for (const LocalContact &c : m_book->contacts()) {
        names.append(Recipients::ShownText(c.shownName()));
        m_rowKeys.append(c.key);
    }
    lstContacts->addItems(names);
    for (int i = 0; i < n; ++i) {
        const LocalContact &c = m_book->contacts()[i];
        if (names[i].size() == c.shownName().size() && names[i] == c.shownName())
            continue; // no control character: the row's text is the name
        lstContacts->item(i)->setData(Recipients::FlatTextRole, Recipients::FlatText(c.shownName()));
    }
    if (const int at = keep.isEmpty() ? -1 : int(m_rowKeys.indexOf(keep)); at >= 0) {
        lstContacts->setCurrentRow(at);
        m_currentEntry = at;
    }
    lstContacts->setUpdatesEnabled(true);
    if (m_currentEntry < 0)
        m_currentKey.clear();
    QString caption = u"RUBRICA [ "_s + QString::number(n) + u" contatti ]"_s;
    if (m_showing == 1)
        caption += u" / "_s + cboType->currentText();
    setWindowTitle(caption);
}

void RUBfrmRubrica::SetupSelectionColumns()
{
    ListSelected->setHeaderLabels({u"Destinatario"_s, u"Email"_s, u"Fax"_s, u"Fax casa"_s, u"Società"_s});
    const int widths[] = {2000, 2500, 1700, 1700, 2000};
    for (int i = 0; i < 5; ++i)
        ListSelected->setColumnWidth(i, twipsX(this, widths[i]));
    for (int i = 0; i < 5; ++i)
        ListSelected->setColumnHidden(i, false);
    const int hide[4][2] = {{0, 0}, {2, 3}, {1, 3}, {1, 2}};
    if (m_openMode >= 1 && m_openMode <= 3) {
        ListSelected->setColumnHidden(hide[m_openMode][0], true);
        ListSelected->setColumnHidden(hide[m_openMode][1], true);
    }
}

QString RUBfrmRubrica::currentKey() const
{
    const QListWidgetItem *row = lstContacts->currentItem();
    return row && row->isSelected() ? m_rowKeys.value(lstContacts->row(row)) : QString();
}

int RUBfrmRubrica::currentIndex() const
{
    const QString key = currentKey();
    return key.isEmpty() ? -1 : m_book->indexOfKey(key);
}

QString RUBfrmRubrica::EntryField(const QString &name) const
{
    if (m_currentEntry < 0 || m_currentEntry >= m_book->count())
        return {};
    const LocalContact &c = m_book->contacts()[m_currentEntry];
    const QString n = name.toLower();
    if (n == u"fax")
        return c.businessFax;
    if (n == u"faxcasa")
        return c.homeFax;
    if (n == u"email")
        return c.email;
    if (n == u"company")
        return c.company;
    return {};
}

bool RUBfrmRubrica::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstContacts->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const int index = currentIndex();
        if (index >= 0) {
            m_currentEntry = index;
            m_currentKey = currentKey(); // a click on the row that was already current changes no row
            if (mouse->button() == Qt::RightButton)
                mnuFile->popup(mouse->globalPosition().toPoint());
        }
    } else if (watched == ListSelected && event->type() == QEvent::KeyRelease &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        delete ListSelected->currentItem();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void RUBfrmRubrica::cmdA_Click()
{
    const int index = currentIndex();
    if (!m_bookOpen || index < 0)
        return;
    m_currentEntry = index;
    const QVariant flat = lstContacts->currentItem()->data(Recipients::FlatTextRole);
    const QString name = flat.isValid() ? flat.toString() : lstContacts->currentItem()->text();
    const QString key = currentKey();
    // The same contact once; two contacts that share a name (or a UID) are both taken.
    for (int i = 0; i < ListSelected->topLevelItemCount(); ++i)
        if (ListSelected->topLevelItem(i)->data(1, Qt::UserRole).toString() == key)
            return;
    ++m_selectionKeyCounter;
    // Shown on one line, control characters visible; taken with them as spaces.
    const QStringList values{name, EntryField(u"email"_s), EntryField(u"fax"_s), EntryField(u"faxcasa"_s),
                             EntryField(u"company"_s)};
    auto *row = new QTreeWidgetItem(ListSelected);
    for (int i = 0; i < values.size(); ++i) {
        row->setText(i, Recipients::ShownText(values[i]));
        row->setData(i, Recipients::FlatTextRole, Recipients::FlatText(values[i]));
    }
    row->setData(0, Qt::UserRole, QString(u"K"_s + QString::number(m_selectionKeyCounter)));
    row->setData(1, Qt::UserRole, key);
}

void RUBfrmRubrica::CmdOk_Click()
{
    if (m_showing == 1) {
        const int n = ListSelected->topLevelItemCount();
        if (n == 0) {
            reject(); // ok stays false
            return;
        }
        m_selected.clear();
        QStringList joined;
        for (int i = 0; i < n; ++i) {
            const QTreeWidgetItem *row = ListSelected->topLevelItem(i);
            const auto value = [row](int column) { return row->data(column, Recipients::FlatTextRole).toString(); };
            const QString v = m_openMode > 0 && m_openMode <= 3 ? value(m_openMode) : QString();
            if (!v.isEmpty())
                joined.append(v);
            m_selected.append({value(0), v, value(4)});
        }
        m_result = joined.join(u';');
    }
    m_ok = true;
    accept();
}

bool RUBfrmRubrica::reportFailure(bool done, const QString &failure, const QString &error)
{
    if (!done)
        Prompt::message(this, QMessageBox::Critical, u"Attenzione"_s, failure + u"\n"_s + error);
    return done;
}

void RUBfrmRubrica::cmdElim_Click()
{
    const QString key = currentKey();
    if (!m_bookOpen || key.isEmpty())
        return;
    if (Prompt::message(this, QMessageBox::Question, u"Attenzione"_s,
                        u"Cancellare il contatto selezionato?"_s, QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::No) != QMessageBox::Yes)
        return;
    QString error;
    m_currentKey.clear();
    const int fills = m_fills;
    reportFailure(m_book->removeContact(key, &error), u"Errore di cancellazione"_s, error);
    if (fills == m_fills) // the book's change refilled the list already
        LoadContacts();
}

bool RUBfrmRubrica::runContactDialog(frmLocalContact &dialog,
                                     const std::function<bool(const LocalContact &, QString *)> &save,
                                     const QString &failure)
{
    // Ok writes while the dialog is open: a failure is told and the dialog stays, with what was typed.
    dialog.setSaver([&](const LocalContact &c) {
        QString error;
        return reportFailure(save(c, &error), failure, error);
    });
    while (Prompt::exec(&dialog) == QDialog::Accepted) {
        if (dialog.saved() || dialog.trySave())
            return true;
    }
    return false;
}

void RUBfrmRubrica::cmdNew_Click()
{
    if (!m_bookOpen)
        return;
    frmLocalContact dialog(this);
    QString key;
    const auto add = [&](const LocalContact &c, QString *error) {
        key = m_book->addContact(c, error);
        return !key.isEmpty();
    };
    const int fills = m_fills;
    if (runContactDialog(dialog, add, u"Impossibile salvare il nuovo contatto."_s))
        m_currentKey = m_book->indexOfKey(key) >= 0 ? key : QString();
    reloadOrSelect(fills);
}

void RUBfrmRubrica::cmdProp_Click()
{
    const int index = currentIndex();
    if (index >= 0) {
        m_currentEntry = index;
        m_currentKey = currentKey();
    }
    if (!m_bookOpen || m_currentEntry < 0 || m_currentEntry >= m_book->count())
        return;
    frmLocalContact dialog(this);
    dialog.setContact(m_book->contacts()[m_currentEntry]);
    const auto keepMine = [this](const QString &label, const QString &theirs, const QString &mine) {
        return Prompt::message(
                   this, QMessageBox::Question, u"Attenzione"_s,
                   u"Il campo «%1» è stato cambiato anche altrove mentre il contatto era aperto.\n"
                   "Altrove: «%2»\nQui: «%3»\nTenere il valore scritto qui?"_s.arg(label, theirs, mine),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    };
    // A card that another program changed meanwhile and that is not surely found again: the user tells
    // whether it is this one.
    const auto sameCard = [this](const QString &theirs, const QString &mine) {
        return Prompt::message(
                   this, QMessageBox::Question, u"Attenzione"_s,
                   u"Mentre il contatto era aperto un altro programma ha cambiato la rubrica e il contatto "
                   "non si ritrova come era.\nEra: «%1»\nOra nella rubrica: «%2»\nÈ lo stesso contatto? "
                   "Sì: le modifiche vanno in quella scheda. No: il contatto viene scritto come nuova scheda."_s
                       .arg(mine, theirs),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    };
    QString key;
    const auto update = [&](const LocalContact &edited, QString *error) {
        return m_book->updateContact(edited, error, keepMine, sameCard, &key);
    };
    const int fills = m_fills;
    if (runContactDialog(dialog, update, u"Impossibile salvare il contatto."_s))
        m_currentKey = key;
    reloadOrSelect(fills);
}

void RUBfrmRubrica::reloadOrSelect(int fillsBefore)
{
    if (fillsBefore == m_fills) {
        LoadContacts();
        return;
    }
    // Refilled by the change already: only the current row follows the card written.
    const int index = m_currentKey.isEmpty() ? -1 : m_book->indexOfKey(m_currentKey);
    const QSignalBlocker quiet(lstContacts);
    if (index >= 0 && index < lstContacts->count()) {
        lstContacts->setCurrentRow(index);
        m_currentEntry = index;
    } else {
        m_currentKey.clear();
    }
}

void RUBfrmRubrica::mnuDati_Click()
{
    Prompt::information(this, u"DATI"_s,
                        u"FAX UFFICIO ["_s + Recipients::ShownText(EntryField(u"fax"_s)) + u"]\n"_s +
                            u"FAX CASA ["_s + Recipients::ShownText(EntryField(u"faxcasa"_s)) + u"]\n"_s +
                            u"EMAIL ["_s + Recipients::ShownText(EntryField(u"email"_s)) + u"]\n"_s);
}
