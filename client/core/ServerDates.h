#pragma once

#include <QDate>
#include <QString>

// The server's dates ("dd/mm/yyyy") in the workstation's order. Years are always four digits: a two-digit
// year from the server is read as 20yy, never 19yy.

// True when the system's short date format puts the day before the month.
bool IsDayFirstDate();

// "dd-mm-yyyy" on a day-first system, "mm-dd-yyyy" otherwise; empty when the text is not a valid date.
QString ServerDateToLocal(const QString &serverDate);

// The server date as a date; invalid when it is not one.
QDate ServerDateToDate(const QString &serverDate);

// "hh:mm" from a text holding a time (the five characters from two before the first ":"); empty otherwise.
QString ExtractTime(const QString &text);

// The system's short date format with the year widened to four digits.
QString ShortDateFormat();
QString FormatShortDate(const QDate &date);
