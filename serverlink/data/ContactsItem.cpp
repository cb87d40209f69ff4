#include "ContactsItem.h"

#include "Protocol.h"
#include "TextValues.h"

using namespace Qt::StringLiterals;

namespace Proto {

std::unique_ptr<ContactsItem> CreaContactsItem(QByteArrayView record, const ErrorSink &onError)
{
    const QList<QByteArrayView> f = splitView(record, ListSeparator);
    auto fail = [&](int number) {
        reportError(onError, number, u"CreaContactsItem : "_s + Proto::text(record));
        return nullptr;
    };
    if (f.size() < 13)
        return fail(ErrorCode::OutOfRange);
    qint32 id = 0;
    int error = 0;
    if (!TextValues::toWhole(f[11], id, error))
        return fail(error);
    auto c = std::make_unique<ContactsItem>();
    c->setFirstName(Proto::text(f[0]));
    c->setSurname(Proto::text(f[1]));
    c->setAddress(Proto::text(f[2]));
    c->setZipCode(Proto::text(f[3]));
    c->setCity(Proto::text(f[4]));
    c->setProvincia(Proto::text(f[5]));
    c->setTelePhone(Proto::text(f[6]));
    c->setTelePhone2(Proto::text(f[7]));
    c->setFaxNumber(Proto::text(f[8]));
    c->setCompany(Proto::text(f[9]));
    c->setEmail(Proto::text(f[10]));
    c->setIdContatto(id);
    c->setIsPublic(startsWithV(f[12]));
    return c;
}

std::unique_ptr<collContactsItem> parsePhoneBook(QByteArrayView data, const BookRights &rights,
                                                 const ErrorSink &onError)
{
    auto book = std::make_unique<collContactsItem>();
    book->setCanModify(rights.modify);
    book->setCanAdd(rights.add);
    book->setCanDelete(rights.del);
    book->setCanRead(rights.read);
    RecordReader reader(data);
    QByteArrayView record;
    while (reader.next(record)) {
        auto contact = CreaContactsItem(record, onError);
        if (!contact)
            continue; // reported; a broken record is not shown as an empty contact
        if (!contact->IsPublic() || book->CanRead())
            book->Add(std::move(contact));
    }
    return book;
}

QString contactRequestData(const ContactsItem &c)
{
    QString data;
    for (const QString &field :
         {c.FirstName(), c.Surname(), c.Address(), c.ZipCode(), c.City(), c.Provincia(), c.TelePhone(),
          c.TelePhone2(), c.FaxNumber(), c.Company(), c.email()})
        data += field + FieldSeparatorText;
    return data + BoolToVF(c.IsPublic());
}

} // namespace Proto
