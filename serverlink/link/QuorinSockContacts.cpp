// The shared address book: ask for it, add, change and delete contacts within the user's rights.
#include "QuorinSock.h"

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<ContactsItem> makeContact(const QStringList &texts, bool isPublic)
{
    auto c = std::make_unique<ContactsItem>();
    c->setFirstName(texts[0]);
    c->setSurname(texts[1]);
    c->setAddress(texts[2]);
    c->setZipCode(texts[3]);
    c->setCity(texts[4]);
    c->setProvincia(texts[5]);
    c->setTelePhone(texts[6]);
    c->setTelePhone2(texts[7]);
    c->setFaxNumber(texts[8]);
    c->setCompany(texts[9]);
    c->setEmail(texts[10]);
    c->setIsPublic(isPublic);
    return c;
}

void copyInto(ContactsItem &target, const ContactsItem &from)
{
    target.setFirstName(from.FirstName());
    target.setSurname(from.Surname());
    target.setAddress(from.Address());
    target.setZipCode(from.ZipCode());
    target.setCity(from.City());
    target.setProvincia(from.Provincia());
    target.setTelePhone(from.TelePhone());
    target.setTelePhone2(from.TelePhone2());
    target.setFaxNumber(from.FaxNumber());
    target.setCompany(from.Company());
    target.setEmail(from.email());
    target.setIsPublic(from.IsPublic());
}

const QString ContactLabels[11] = {u"Nome"_s,      u"Cognome"_s,    u"Indirizzo"_s, u"CAP"_s,
                                   u"Citt\u00E0"_s,  u"Provincia"_s,  u"Telefono"_s,  u"Telefono 2"_s,
                                   u"Fax"_s,       u"Societ\u00E0"_s, u"E-mail"_s};

} // namespace

void QuorinSock::AskPhoneBook()
{
    SendMsg(typeQry, u"ASKRUBRICA", QString());
}

int QuorinSock::SendNewContact(const QString &FirstName, const QString &Surname, const QString &Address,
                               const QString &ZipCode, const QString &City, const QString &Provincia,
                               const QString &TelePhone, const QString &TelePhone2, const QString &FaxNumber,
                               const QString &Company, const QString &email, bool IsPublic)
{
    if (IsPublic && !m_addShared)
        return -97;
    const QStringList texts{FirstName, Surname, Address, ZipCode, City, Provincia,
                            TelePhone, TelePhone2, FaxNumber, Company, email};
    for (int i = 0; i < 11; ++i) {
        if (!guardUser(u"SendNewContact"_s, {{ContactLabels[i], texts[i]}}))
            return -1;
    }
    std::unique_ptr<ContactsItem> contact =
        makeContact({FirstName, Surname, Address, ZipCode, City, Provincia, TelePhone, TelePhone2, FaxNumber,
                     Company, email},
                    IsPublic);
    if (!SendMsg(typeQry, u"NEW_CONTATTO", Proto::contactRequestData(*contact)))
        return -1;
    if (!m_contacts)
        m_contacts = std::make_unique<collContactsItem>();
    m_contacts->Add(std::move(contact)); // IdContatto stays 0 until the book is asked again
    return 0;
}

int QuorinSock::UpdateContact(const QString &FirstName, const QString &Surname, const QString &Address,
                              const QString &ZipCode, const QString &City, const QString &Provincia,
                              const QString &TelePhone, const QString &TelePhone2, const QString &FaxNumber,
                              const QString &Company, const QString &email, bool IsPublic, int KeyContact)
{
    ContactsItem *stored = m_contacts ? m_contacts->Item(qsizetype(KeyContact)) : nullptr;
    if (!stored)
        return -1;
    // Rights as they were when the book was loaded.
    if (stored->IsPublic()) {
        if (!m_contacts->CanModify())
            return -98;
        if (!IsPublic && !m_contacts->CanDelete())
            return -99;
    } else if (IsPublic && !m_contacts->CanAdd()) {
        return -97;
    }
    // A contact the server has not numbered yet cannot be named in a request.
    if (stored->IdContatto() == 0)
        return -1;
    const QStringList texts{FirstName, Surname, Address, ZipCode, City, Provincia,
                            TelePhone, TelePhone2, FaxNumber, Company, email};
    for (int i = 0; i < 11; ++i) {
        if (!guardUser(u"UpdateContact"_s, {{ContactLabels[i], texts[i]}}))
            return -1;
    }
    std::unique_ptr<ContactsItem> edited = makeContact({FirstName, Surname, Address, ZipCode, City, Provincia,
                                                        TelePhone, TelePhone2, FaxNumber, Company, email},
                                                       IsPublic);
    const QString data =
        Proto::contactRequestData(*edited) + u"<#>"_s + QString::number(stored->IdContatto());
    if (!SendMsg(typeQry, u"UPD_CONTATTO", data))
        return -1;
    copyInto(*stored, *edited);
    return 0;
}

int QuorinSock::DeleteContact(int KeyContact)
{
    const ContactsItem *stored = m_contacts ? m_contacts->Item(qsizetype(KeyContact)) : nullptr;
    if (!stored)
        return -1;
    if (stored->IsPublic() && !m_contacts->CanDelete())
        return -99;
    if (stored->IdContatto() == 0)
        return -1;
    if (!SendMsg(typeQry, u"DELETECONTACT", QString::number(stored->IdContatto())))
        return -1;
    return 0; // the contact stays in the collection until the book is asked again
}
