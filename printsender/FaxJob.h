#pragma once

#include <QString>

#include <memory>

class clsXMLNode;
class faxOut;

namespace Sendora {

// "dd-mm-yyyy" / "hh:mm:ss" of a date or time text; false when the text is not one.
bool FormatDate(const QString &text, QString &out);
bool FormatTime(const QString &text, QString &out);

// What a job's fax takes from the (hidden) send window before its own elements apply.
struct FaxJobDefaults
{
    QString SendRes;      // "0" or "1"
    QString DelayRetries; // the setting, as text
    QString SendDate;     // the window's date and time fields, as typed
    QString SendTime;
    QString FromLine, FromComp, FromPhon, FromFax;
};

// The fax of one "fax" element: the defaults, then each child element in document order whose text,
// trimmed of spaces, is not empty. Nullptr with `error` set when a number, date or time does not read.
std::unique_ptr<faxOut> FaxFromJob(const clsXMLNode &fax, const FaxJobDefaults &defaults, QString &error);

} // namespace Sendora
