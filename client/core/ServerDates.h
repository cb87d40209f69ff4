#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// The server's dates ("dd/mm/yyyy") in the workstation's order. Years are always four digits: a two-digit
// year from the server is read as 20yy, never 19yy.

// The locale dates are shown in: the system's, Italian when the system has none (C/POSIX).
QLocale DateLocale();

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
// A date written by FormatShortDate; invalid when the text is not one.
QDate ReadShortDate(const QString &text);
