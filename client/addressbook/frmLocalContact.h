#pragma once

#include "VCardBook.h"

#include <QDialog>

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

private:
    LocalContact m_contact;
    QLineEdit *txtDisplayName, *txtFirstName, *txtSurname, *txtCompany, *txtEmail, *txtBusinessFax,
        *txtHomeFax, *txtPhone;
};
