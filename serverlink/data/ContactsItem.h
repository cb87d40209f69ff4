#pragma once

#include "Collection.h"
#include "ParseError.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

// One contact of the shared address book.
class ContactsItem
{
public:
    QString FirstName() const { return m_FirstName; }
    void setFirstName(const QString &v) { m_FirstName = v; }
    QString Surname() const { return m_Surname; }
    void setSurname(const QString &v) { m_Surname = v; }
    QString Address() const { return m_Address; }
    void setAddress(const QString &v) { m_Address = v; }
    QString ZipCode() const { return m_ZipCode; }
    void setZipCode(const QString &v) { m_ZipCode = v; }
    QString City() const { return m_City; }
    void setCity(const QString &v) { m_City = v; }
    QString Provincia() const { return m_Provincia; }
    void setProvincia(const QString &v) { m_Provincia = v; }
    QString TelePhone() const { return m_TelePhone; }
    void setTelePhone(const QString &v) { m_TelePhone = v; }
    QString TelePhone2() const { return m_TelePhone2; }
    void setTelePhone2(const QString &v) { m_TelePhone2 = v; }
    QString FaxNumber() const { return m_FaxNumber; }
    void setFaxNumber(const QString &v) { m_FaxNumber = v; }
    QString Company() const { return m_Company; }
    void setCompany(const QString &v) { m_Company = v; }
    bool IsPublic() const { return m_IsPublic; }
    void setIsPublic(bool v) { m_IsPublic = v; }
    QString email() const { return m_email; }
    void setEmail(const QString &v) { m_email = v; }
    int IdContatto() const { return m_IdContatto; }
    void setIdContatto(int v) { m_IdContatto = v; }

private:
    QString m_FirstName, m_Surname, m_Address, m_ZipCode, m_City, m_Provincia, m_TelePhone, m_TelePhone2,
        m_FaxNumber, m_Company;
    bool m_IsPublic = false;
    QString m_email;
    int m_IdContatto = 0;
};

// Contacts of the shared book, without keys (positions from 1), plus the rights copied when loaded.
class collContactsItem : public Collection<ContactsItem>
{
public:
    bool Add(std::unique_ptr<ContactsItem> item) { return Collection<ContactsItem>::Add(std::move(item)); }

    void setCanModify(bool v) { m_CanModify = v; }
    bool CanModify() const { return m_CanModify; }
    void setCanAdd(bool v) { m_CanAdd = v; }
    bool CanAdd() const { return m_CanAdd; }
    void setCanDelete(bool v) { m_CanDelete = v; }
    bool CanDelete() const { return m_CanDelete; }
    void setCanRead(bool v) { m_CanRead = v; }
    bool CanRead() const { return m_CanRead; }

private:
    bool m_CanModify = false, m_CanAdd = false, m_CanDelete = false, m_CanRead = false;
};

namespace Proto {

struct BookRights
{
    bool modify = false, add = false, del = false, read = false;
};

// One contact record (13 fields split at "¦"). Null on failure, after the error
// "CreaContactsItem : " + record went to the sink.
std::unique_ptr<ContactsItem> CreaContactsItem(QByteArrayView record, const ErrorSink &onError);

// A "RUBRICA" answer. Failing records are reported and skipped; public contacts are dropped
// without the read right.
std::unique_ptr<collContactsItem> parsePhoneBook(QByteArrayView data, const BookRights &rights,
                                                 const ErrorSink &onError);

// Data of "NEW_CONTATTO": the eleven texts each followed by "<#>", then "V"/"F".
QString contactRequestData(const ContactsItem &contact);

} // namespace Proto
