#pragma once

#include <QDialog>
#include <QPointer>

class ContactsItem;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QuorinSock;

// The contact of the shared address book: a new one (SendNewContact) or an edit (UpdateContact), sent
// through the server link it is given. Refusals come back as result codes and are shown here.
class frmNewContatto : public QDialog
{
    Q_OBJECT
public:
    explicit frmNewContatto(QuorinSock *clientSock, QWidget *parent = nullptr);

    // The contact to edit; it belongs to the link's book and is only read here.
    ContactsItem *ItemContact() const { return m_item; }
    void setItemContact(ContactsItem *item) { m_item = item; }
    bool Nuovo() const { return m_nuovo; }
    void setNuovo(bool on) { m_nuovo = on; }
    int ChiaveItem() const { return m_chiave; }
    void setChiaveItem(int key) { m_chiave = key; }
    bool OkPressed() const { return m_okPressed; }
    QWidget *frmParent() const { return m_parent; }
    void setfrmParent(QWidget *parent) { m_parent = parent; }

    // Fills the fields by the mode; runs when the dialog is shown, callable before for tests.
    void Load();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void CmdOK_Click();
    void ClearContactFields();
    QStringList texts() const;
    void showRefusal(int first, int second = 0);

    QPointer<QuorinSock> m_sock;
    ContactsItem *m_item = nullptr;
    bool m_nuovo = false;
    int m_chiave = 0;
    bool m_okPressed = false;
    bool m_loaded = false;
    QPointer<QWidget> m_parent;
    QList<QLineEdit *> m_fields; // the eleven boxes in the order of the server calls
    QStringList m_cameAs;        // the contact's values as they came, shown with visible control characters
    QCheckBox *m_shared = nullptr;
    QPushButton *m_cancel = nullptr;
};
