#pragma once

#include "VCardBook.h"

#include <QDialog>

#include <functional>

class QLineEdit;

// Our own window for one contact of the local address book (its properties, or a new one).
class frmLocalContact : public QDialog
{
    Q_OBJECT
public:
    explicit frmLocalContact(QWidget *parent = nullptr);

    void setContact(const LocalContact &contact);
    // The contact as edited; fields we do not show (uid, other properties) come from setContact.
    LocalContact contact() const;
    // Called by Ok with the contact as edited; false keeps the dialog open, with what was typed.
    void setSaver(std::function<bool(const LocalContact &)> saver) { m_saver = std::move(saver); }
    // The saver took what the dialog holds (Ok, or trySave).
    bool saved() const { return m_saved; }
    bool trySave();

public Q_SLOTS:
    void accept() override;

private:
    LocalContact m_contact;
    std::function<bool(const LocalContact &)> m_saver;
    bool m_saved = false;
    QLineEdit *txtDisplayName, *txtFirstName, *txtSurname, *txtCompany, *txtEmail, *txtBusinessFax,
        *txtHomeFax, *txtPhone;
};
