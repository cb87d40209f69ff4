#pragma once

#include "Recipients.h"

struct FaxDraft;

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QuorinSock;

// True for the send list's entry of the fax being forwarded (shown, fixed, sent once).
bool IsForwardedItem(const QListWidgetItem *item);

// The send-fax dialog: documents, cover page, recipients, sender, subject, note, schedule, resolution.
// It has no link of its own: "&Spedisci" hands a faxOut to SendNewFax of the control it is given.
//
//   auto *dlg = new FRMSEND2(mainWindow);           // or FRMSEND2::defaultInstance(mainWindow)
//   dlg->setAttribute(Qt::WA_DeleteOnClose);
//   dlg->setClientSock(ClientSock); dlg->setfMain(mainWindow); dlg->setItemOpen(file);
//   dlg->show();                                      // Load() runs at the first show after each close
class FRMSEND2 : public QDialog
{
    Q_OBJECT
public:
    explicit FRMSEND2(QWidget *parent = nullptr);
    ~FRMSEND2() override;

    // The one shared instance used when a listed fax or a scan is sent on (created on first use).
    static FRMSEND2 *defaultInstance(QWidget *parent = nullptr);

    QString ItemOpen() const { return m_itemOpen; }
    void setItemOpen(const QString &file) { m_itemOpen = file; }
    bool SpeditoFile() const { return false; }
    QWidget *fMain() const { return m_fMain; }
    void setfMain(QWidget *main) { m_fMain = main; }
    QuorinSock *ClientSock() const;
    void setClientSock(QuorinSock *sock);
    QString IdFaxSending() const { return m_idFaxSending; }

    // Fills the fields from the settings (Form_Load); runs at the first show, callable before for tests.
    void Load();

    // Handlers, also reached through the dialog's buttons.
    void cbFiles_Click();
    void cbDelFiles_Click();
    void Command1_Click();
    void chbCoverPage_Click();
    void cmdRub_Click();
    void cbSend_Click();
    // A confirmed address-book pick: the names go into the number box.
    void applyPick(const PickedList &picked);
    // Loads the form (as at the first show) holding what a fax not sent was made of.
    void restoreDraft(const FaxDraft &draft);

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void rebuildRememberedList();
    void saveFileList();
    bool collectDocuments(QString &documents);
    FaxDraft draft(const QList<RecipientRow> &table, const QString &sendDate, const QString &sendTime) const;

    QString m_itemOpen;
    QPointer<QWidget> m_fMain;
    QPointer<QuorinSock> m_sock;
    QString m_idFaxSending;
    PickedList m_pickedList;
    bool m_pickedFromBook = false;
    bool m_loaded = false;
    bool m_filesEdited = false;

    QLineEdit *tbTo, *tbCompany, *tbFaxNumber, *tbDate, *tbTime;
    QLineEdit *tbFrom, *tbSendCompany, *tbSendVoiceNumber, *tbSendFaxNumber;
    QLineEdit *tbSubj, *tbCover, *tbBanner;
    QPlainTextEdit *tbNote;
    QListWidget *lbFiles;
    QCheckBox *chbCoverPage, *chHiRes;
    QComboBox *cmbPort, *cmbQueue;
    QPushButton *cbCancel;
};
