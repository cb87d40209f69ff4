#pragma once

#include "FaxItem.h"
#include "ParseError.h"
#include "Protocol.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

// Parsers of the fax records of list answers, new-fax notices, properties and reports.
// Errors go to the sink as (number, description, source); a failing record is skipped.
namespace Proto {

// "INOLTRO" 0, "PERSONALI" 1, "SPEDITI" 2, "CANCELLATI" 3, anything else NullList (exact case).
typeOfList ListFromName(QStringView keyword);
typeOfList ListFromName(QByteArrayView keyword);

// Text of a status code (field 1, blanks trimmed); "" for an unknown code.
QString statusText(QByteArrayView code);
// Icon name of field 2; "" for a value outside the table.
QString iconName(QByteArrayView code);

// Field 6 of a fax record: minutes since 1 January 2006 00:00, optionally after "O" (date only)
// or "D" (time only). False when it does not convert.
bool decodeDateFax(QByteArrayView field, QString &dateFax);
// The 20-character sort key of field 6.
bool decodeDateOrder(QByteArrayView field, QString &dateOrder);

// One fax record (fields after the leading "¦", cut at every "¦"). Null on failure, after the error
// "CreaFaxItem : " + record went to the sink.
std::unique_ptr<FaxItem> CreaFaxItem(QByteArrayView record, typeOfList kind, const ErrorSink &onError);

// A list answer: the count record, then one "¦"-led record per fax. Failing records are reported
// and skipped; a first record that is not a number is reported ("CaricaCollFaxItem : " + record) and
// ends the parse. Always returns a collection (the faxes read so far).
std::unique_ptr<CollFaxItem> CaricaCollFaxItem(QByteArrayView data, typeOfList kind,
                                               const ErrorSink &onError);

// Properties / report answer.
struct FaxDataResult
{
    std::unique_ptr<CollFaxItem> items; // never null
    bool ok = true;                     // false when a record failed (it was reported and skipped)
    bool listKindSet = false;           // a record of 8 or more fields was met
    typeOfList listKind = NullList;     // list named by the first such record
};
FaxDataResult CaricaDatiFax(QByteArrayView data, QStringView activeListKeyword, const ErrorSink &onError);

} // namespace Proto
