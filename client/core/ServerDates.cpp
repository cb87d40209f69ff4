#include "ServerDates.h"

#include "ErrorReporting.h"

#include <QLocale>
#include <QRegularExpression>

QLocale DateLocale()
{
    const QLocale system;
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Italian, QLocale::Italy); // no locale set: the program's own language
    return system;
}

bool IsDayFirstDate()
{
    const QString format = DateLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(u'd');
    const qsizetype month = format.indexOf(u'M');
    return day >= 0 && month >= 0 && day < month;
}

QString ShortDateFormat()
{
    QString format = DateLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression years(QStringLiteral("y+"));
    format.replace(years, QStringLiteral("yyyy"));
    return format;
}

QString FormatShortDate(const QDate &date)
{
    return DateLocale().toString(date, ShortDateFormat());
}

namespace {

bool digitsOnly(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// Day, month and year pieces of the server's "dd/mm/yyyy" (counted by position, as the server pads them).
QDate parse(const QString &serverDate)
{
    const QString day = serverDate.mid(0, 2);
    const QString month = serverDate.mid(3, 2);
    QString year = serverDate.mid(6, 4);
    if (!digitsOnly(day) || !digitsOnly(month) || !digitsOnly(year))
        return {};
    if (year.size() == 2)
        year.prepend(u"20");
    else if (year.size() != 4)
        return {};
    return QDate(year.toInt(), month.toInt(), day.toInt());
}

} // namespace

QDate ServerDateToDate(const QString &serverDate)
{
    return parse(serverDate);
}

QString ServerDateToLocal(const QString &serverDate)
{
    const QDate date = parse(serverDate);
    if (!date.isValid())
        return {};
    return date.toString(IsDayFirstDate() ? QStringLiteral("dd-MM-yyyy") : QStringLiteral("MM-dd-yyyy"));
}

QDate ReadShortDate(const QString &text)
{
    return DateLocale().toDate(text.trimmed(), ShortDateFormat());
}

QString ExtractTime(const QString &text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return {};
    if (colon < 2) {
        ShowErrorMessage(ErrNumber::InvalidArgument, QStringLiteral("Invalid procedure call or argument"),
                         QStringLiteral("ExtractTime"));
        return {};
    }
    return text.mid(colon - 2, 5);
}
