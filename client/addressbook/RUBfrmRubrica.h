#pragma once

#include "Recipients.h"
#include "VCardBook.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QGroupBox;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeWidget;
class frmLocalContact;

// The local address book (the vCard file): browse it (Showing 0) or pick recipients (Showing 1).
// OpenMode chooses the collected value: 1 e-mail, 2 business fax, 3 home fax.
class RUBfrmRubrica : public QDialog
{
    Q_OBJECT
public:
    explicit RUBfrmRubrica(QWidget *parent = nullptr);

    int OpenMode() const { return m_openMode; }
    void setOpenMode(int mode) { m_openMode = mode; }
    int Showing() const { return m_showing; }
    void setShowing(int showing) { m_showing = showing; }
    bool ok() const { return m_ok; }
    PickedList Selected() const { return m_selected; }
    QString Result() const { return m_result; }
    // The print-to-fax sender's window has no settings button.
    void setConfigurable(bool on) { m_configurable = on; }

    // Opens the book and fills the window; runs when shown, callable before for tests. A large book is
    // read on another thread and listed when the read lands (LocalAddressBook::refreshInBackground).
    void Load();
    // The process's one local book, shared with every other window.
    LocalAddressBook &book() { return *m_book; }

    // Operations, also reached through the window's buttons and menu.
    void cmdA_Click();
    void CmdOk_Click();
    void cmdElim_Click();
    void cmdNew_Click();
    void cmdProp_Click();
    void mnuDati_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void LoadContacts();
    // The unreadable book, or the lines it could not understand, told once per Load.
    void reportOpen(const QString &error);
    void SetupSelectionColumns();
    int currentIndex() const; // index into the book of the selected row, -1 for none
    QString EntryField(const QString &name) const;
    bool reportFailure(bool done, const QString &failure, const QString &error);
    QString currentKey() const; // the selected row's card
    // Runs the contact dialog until what it holds is written or the user gives up; true when written.
    // After a change: the list filled again unless the book's change did it since `fillsBefore`.
    void reloadOrSelect(int fillsBefore);
    bool runContactDialog(frmLocalContact &dialog,
                          const std::function<bool(const LocalContact &, QString *)> &save,
                          const QString &failure);

    LocalAddressBook *m_book;
    bool m_bookOpen = false;
    bool m_loaded = false;
    bool m_reading = false; // a large book read by Load has not landed yet
    int m_fillsAtLoad = 0;  // m_fills when that read began
    bool m_configurable = true;
    int m_openMode = 0;
    int m_showing = 0;
    int m_currentEntry = -1; // index into the book
    QString m_currentKey;    // the same card, surviving a new read of the file
    bool m_counted = false;  // the caption has counted the contacts once
    int m_fills = 0;         // how often the list was filled
    QStringList m_rowKeys;   // the key of each row's card, in the order of the rows
    int m_selectionKeyCounter = 0;
    bool m_ok = false;
    PickedList m_selected;
    QString m_result;

    QComboBox *cboType;
    QGroupBox *FraCont;
    QListWidget *lstContacts;
    QPushButton *cmdA;
    QTreeWidget *ListSelected;
    QPushButton *cmdConf;
    QMenu *mnuFile;
};
