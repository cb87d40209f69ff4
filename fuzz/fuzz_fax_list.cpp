// The server's fax records: list answers, single records of new-fax notices, properties and reports.
#include "FaxRecords.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t choice = in.byte();
    const QByteArrayView bytes = in.rest();
    int errors = 0;
    const ErrorSink sink = [&errors](const ParseError &) { ++errors; };
    static const typeOfList kinds[] = {Forwardlist, PersonalList, SentList, DeletedList, NullList};
    const typeOfList kind = kinds[choice % 5];

    switch ((choice >> 3) % 3) {
    case 0: {
        std::unique_ptr<CollFaxItem> items = Proto::CaricaCollFaxItem(bytes, kind, sink);
        Fuzz::check(items != nullptr, "a list answer gave no collection");
        // The texts of a fax share storage: each stays 0-ended and its own when another is changed.
        for (const FaxItem &fax : *items) {
            const QString texts[] = {fax.IdFax(),    fax.DateFax(),   fax.DateOrder(), fax.Subject(),
                                     fax.RemoteID(), fax.ToCompany(), fax.DestFax()};
            for (const QString &t : texts)
                Fuzz::check(t.isNull() || t.utf16()[t.size()] == 0, "a text of a listed fax is not 0-ended");
            QString changed = fax.IdFax();
            changed.append(QLatin1Char('!'));
            Fuzz::check(fax.IdFax() == texts[0] && fax.DateFax() == texts[1] && fax.Subject() == texts[3],
                        "changing a copy of a text changed the fax");
            Fuzz::check(texts[0].isEmpty() || items->Item(texts[0]) == &fax, "a listed fax is not found by its number");
        }
        break;
    }
    case 1: {
        std::unique_ptr<FaxItem> item = Proto::CreaFaxItem(bytes, kind, sink);
        Fuzz::check(item != nullptr || errors > 0, "a refused record was not reported");
        break;
    }
    default: {
        static const QString listNames[] = {QStringLiteral("INOLTRO"), QStringLiteral("PERSONALI"),
                                            QStringLiteral("SPEDITI"), QStringLiteral("CANCELLATI")};
        Proto::FaxDataResult result = Proto::CaricaDatiFax(bytes, listNames[choice % 4], sink);
        Fuzz::check(result.items != nullptr, "a properties answer gave no collection");
        Fuzz::check(result.ok || errors > 0, "a failed record was not reported");
        break;
    }
    }
    QString text;
    Proto::decodeDateFax(bytes, text);
    Proto::decodeDateOrder(bytes, text);
    return 0;
}
