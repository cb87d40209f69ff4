#include "FaxListText.h"

#include "FaxItem.h"
#include "ServerDates.h"
#include "StringTable.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace FaxListText {

namespace {

const QString EightBlanks = u"        "_s;

QString twoDigits(qint64 n)
{
    return QString(u"00"_s + QString::number(n)).right(2);
}

} // namespace

QList<ColumnSpec> Columns(int activeList, bool cestino)
{
    QString remote;
    if (cestino)
        remote = u"Mitt/Dest"_s;
    else if (activeList == 2)
        remote = u"Destinatario"_s;
    else
        remote = u"Mittente"_s;
    QList<ColumnSpec> columns = {
        {QString(), 600},     {u"Stato"_s, 2000},   {remote, 1700},
        {u"Azienda"_s, 1700}, {u"N. Fax"_s, 1200},  {u"Data e Ora"_s, 1800},
        {u"Pagine"_s, 900},   {u"Oggetto"_s, 2000}, {u"Data e Ora Hide"_s, 0},
    };
    if (cestino)
        columns << ColumnSpec{u"Log"_s, 0} << ColumnSpec{u"Id"_s, 0} << ColumnSpec{u"IdFaxGruppo"_s, 0};
    return columns;
}

QString DescrizioneEsito(const QString &esito)
{
    static const QHash<QString, int> ids = {
        {u"COMPLETE"_s, 2033},
        {u"NO COMMAND ACKNOWLEDGEMENT FROM MODEM"_s, 2034},
        {u"UNSUPPORTED FAXMODEM"_s, 2035},
        {u"ERROR INITIALIZING MODEM"_s, 2036},
        {u"BAD FDIS SETTINGS"_s, 2037},
        {u"ERROR SETTING LOCAL ID"_s, 2038},
        {u"ERROR DIALING"_s, 2039},
        {u"ERROR CONNECTING TO REMOTE FAX"_s, 2040},
        {u"BAD FCSI STRING"_s, 2041},
        {u"ERROR RECEIVING NEGOTIATED FDIS"_s, 2042},
        {u"INTERNAL STATE ERROR"_s, 2043},
        {u"LINE BUSY"_s, 2044},
        {u"NO DIALTONE"_s, 2045},
        {u"DIDN'T CONNECT"_s, 2046},
        {u"USER CANCELLED"_s, 2047},
        {u"BAD OR MISSING FPTS"_s, 2048},
        {u"BAD OR MISSING FHNG"_s, 2049},
        {u"FDCS NOT FOUND"_s, 2050},
        {u"GENERAL MODEM ERROR"_s, 2051},
        {u"INVALID FAX FILES"_s, 2052},
        {u"INCOMPATIBLE DLL/SERVER RELEASES"_s, 2053},
        {u"MODEM COMMAND TIMEOUT"_s, 2054},
        {u"NO RESPONSE TO EOP COMMAND REPEATED 3 TIMES"_s, 2055},
        {u"NO RESPONSE TO MPS COMMAND REPEATED 3 TIMES"_s, 2056},
        {u"UNABLE TO TRAIN WITH REMOTE SYSTEM"_s, 2057},
        {u"ERROR OPENING/INITIALIZING PORT"_s, 2058},
        {u"NO ANSWER"_s, 2059},
        {u"SENDING"_s, 2060},
        {u"ERRORE DI FORMATO."_s, 2061},
        {u"FILE NON VALIDO O NON TROVATO."_s, 2062},
        {u"ERRORE GENERICO IN SPEDIZIONE."_s, 2063},
        {u"ATTESA INVIO"_s, 2064},
    };
    if (esito.isEmpty())
        return esito;
    const auto it = ids.constFind(esito.trimmed().toUpper());
    if (it == ids.constEnd())
        return esito;
    const QString message = LoadResString(it.value());
    return message.isEmpty() ? esito : message;
}

QString TrasformaSecInTime(qint32 secs)
{
    const qint64 s = secs;
    return twoDigits(s / 3600) + u':' + twoDigits((s % 3600) / 60) + u':' + twoDigits(s % 60);
}

QString StatusColumn(const FaxItem &fax, int activeList)
{
    if (activeList == 2 && fax.RetryCount() != 0 && fax.Pending() && fax.Retries() != 0) {
        return LoadResString(2064) + u" - "_s + DescrizioneEsito(fax.status()) + u"  al tentativo "_s +
               QString::number(fax.RetryCount()) + u'/' + QString::number(qint64(fax.Retries()) + 1);
    }
    return DescrizioneEsito(fax.status());
}

QString DateColumn(const QString &dateFax)
{
    const QString time = ExtractTime(dateFax);
    if (dateFax.isEmpty())
        return EightBlanks + u' ' + time;
    const QDate date = ServerDateToDate(dateFax);
    if (!date.isValid())
        return EightBlanks + u' ' + time;
    return FormatShortDate(date) + u' ' + time;
}

QStringList RowTexts(const FaxItem &fax, int activeList)
{
    return {StatusColumn(fax, activeList),
            fax.RemoteID(),
            fax.ToCompany(),
            fax.DestFax(),
            DateColumn(fax.DateFax()),
            QString::number(fax.PageSent()),
            fax.Subject(),
            fax.DateOrder()};
}

QString RowTextCache::status(const FaxItem &fax)
{
    if (m_activeList == 2 && fax.RetryCount() != 0 && fax.Pending() && fax.Retries() != 0)
        return StatusColumn(fax, m_activeList);
    const QString status = fax.status();
    if (status.isEmpty())
        return status;
    const auto it = m_status.constFind(status);
    if (it != m_status.constEnd())
        return it.value();
    return m_status.insert(status, DescrizioneEsito(status)).value();
}

QString RowTextCache::date(const QString &dateFax)
{
    // The time as ExtractTime takes it; a colon too near the start goes to it to be reported.
    const qsizetype colon = dateFax.indexOf(u':');
    QStringView time;
    QString reported;
    if (colon >= 2) {
        time = QStringView(dateFax).mid(colon - 2, 5);
    } else if (colon >= 0) {
        reported = ExtractTime(dateFax);
        time = reported;
    }
    if (dateFax.isEmpty())
        return EightBlanks + u' ' + time;
    // The day is read from the first ten characters only: rows of one day share its text.
    const QStringView day = QStringView(dateFax).left(10);
    const auto digit = [day](qsizetype i) {
        return day[i] >= u'0' && day[i] <= u'9' ? day[i].unicode() - u'0' : -1;
    };
    if (day.size() == 10) {
        // dd?MM?yyyy, as the server writes it: the day as a number, no key text to make.
        int number = 0;
        for (const qsizetype i : {0, 1, 3, 4, 6, 7, 8, 9}) {
            const int d = digit(i);
            if (d < 0) {
                number = -1;
                break;
            }
            number = number * 10 + d;
        }
        if (number >= 0) {
            auto it = m_dayNumbers.constFind(number);
            if (it == m_dayNumbers.constEnd()) {
                const QDate date = ServerDateToDate(day.toString());
                it = m_dayNumbers.insert(number, date.isValid() ? FormatShortDate(date) : EightBlanks);
            }
            return it.value() + u' ' + time;
        }
    }
    auto it = m_days.constFind(day.toString());
    if (it == m_days.constEnd()) {
        const QDate date = ServerDateToDate(day.toString());
        it = m_days.insert(day.toString(), date.isValid() ? FormatShortDate(date) : EightBlanks);
    }
    return it.value() + u' ' + time;
}

QString RowTextCache::pages(int pages)
{
    if (pages < 0 || pages >= 1000)
        return QString::number(pages);
    if (m_pages.size() <= pages)
        m_pages.resize(pages + 1);
    QString &text = m_pages[pages];
    if (text.isNull())
        text = QString::number(pages);
    return text;
}

std::optional<QString> ListCaption(int activeList, const QString &testoNodo, int rows, int nDaLeggere)
{
    QString prefix;
    if (!testoNodo.isEmpty() && testoNodo != u"INOLTRO"_s && testoNodo != u"SPEDITI"_s &&
        testoNodo != u"CANCELLATI"_s)
        prefix = u" / "_s + testoNodo;
    // A list still on its way has no counts yet (rows < 0).
    const QString count = rows < 0 ? QString() : u" [ "_s + QString::number(rows) + u" ]"_s;
    const bool unread = rows >= 0 && nDaLeggere != 0 && nDaLeggere != -1;
    switch (activeList) {
    case 0:
        if (unread)
            return u"Fax Ricevuti"_s + prefix + count + u"      Da leggere [ "_s +
                   QString::number(nDaLeggere) + u" ]"_s;
        return u"Fax Ricevuti"_s + prefix + count;
    case 1:
        if (unread)
            return u"Fax Personali"_s + prefix + count + u"      Da leggere [ "_s +
                   QString::number(nDaLeggere) + u"]"_s;
        return u"Fax Personali"_s + prefix + count;
    case 2:
        return u"Fax Spediti"_s + prefix + count;
    case 3:
        return u"Cestino"_s + prefix + count;
    default:
        return std::nullopt;
    }
}

QStringList CaricaDati(const FaxItem &fax)
{
    const QString sent = fax.SentDate();
    const QString time = ExtractTime(sent);
    const QDate date = ServerDateToDate(sent);
    const QString when =
        date.isValid() ? QString(FormatShortDate(date) + u' ' + time) : QString(EightBlanks + u' ' + time);
    return {QString(),
            when,
            fax.DestFax() + u" ["_s + fax.DestName() + u']',
            TrasformaSecInTime(fax.Duration()),
            QString::number(fax.PageSent()) + u" di "_s + QString::number(fax.TotalPages()),
            fax.status()};
}

QStringList ReportTitles()
{
    return {QString(), u"Data e Ora"_s, u"Destinatario"_s, u"Durata"_s, u"Pagine Inviate"_s, u"Esito"_s};
}

QString ComposeFaxMailText(int kind, const QStringList &subItems)
{
    const auto sub = [&](int n) { return n < subItems.size() ? subItems.at(n) : QString(); };
    const QString crlf = u"\r\n"_s;
    // The date column is read in the form DateColumn wrote it (the short date may hold blanks itself,
    // "2025. 01. 05." or "5.01.2025 г."); the mail always says dd/MM/yyyy.
    QString phrase;
    const QString when = sub(5).trimmed();
    const qsizetype blank = when.lastIndexOf(u' ');
    if (blank > 0) {
        const QString time = when.mid(blank + 1);
        const QDate date = ReadShortDate(when.left(blank));
        static const QRegularExpression hhmm(u"^\\d{2}:\\d{2}$"_s);
        if (date.isValid() && hhmm.match(time).hasMatch())
            phrase = u" alle "_s + time + u" del "_s + date.toString(u"dd/MM/yyyy"_s);
    }
    const auto senderLine = [&]() {
        return sub(2).isEmpty() ? QString(u"Numero mittente non visibile."_s + crlf)
                                : QString(u"Mittente : "_s + sub(2) + crlf);
    };
    switch (kind) {
    case 0:
        return u"Hai ricevuto un nuovo fax "_s + phrase + crlf + senderLine();
    case 1:
        return u"Inoltro di fax ricevuto"_s + phrase + crlf + senderLine();
    case 2: {
        QString text = u"Inoltro di fax spedito"_s + phrase + crlf;
        // The recipient is column 2 and the result column 1: the row text itself is always empty.
        if (!sub(2).isEmpty()) {
            text += u"Destinatario : "_s + sub(2);
            if (!sub(4).isEmpty())
                text += u" Numero : "_s + sub(4) + crlf;
            else
                text += crlf;
        } else if (sub(4).isEmpty()) {
            text += u"Numero destinatario non visibile."_s + crlf;
        } else {
            text += u" Numero : "_s + sub(4) + crlf;
        }
        return text + u"Esito : "_s + sub(1) + crlf;
    }
    default:
        return {};
    }
}

QString WinsockStatusText(int state, const QString &server, bool *closeLink)
{
    if (closeLink)
        *closeLink = state == 0 || state == 9;
    switch (state) {
    case 0:
        return u"Connessione Chiusa"_s;
    case 1:
        return u"Connessione Aperta"_s;
    case 2:
        return u"Attesa Connessione"_s;
    case 3:
        return u"Connessione in sospeso"_s;
    case 4:
        return u"Risoluzione dell'host in corso"_s;
    case 5:
        return u"Host risolto"_s;
    case 6:
        return u"Connessione in corso"_s;
    case 7:
        return u"Connesso al Server: "_s + server;
    case 8:
        return u"Chiusura Connessione in corso"_s;
    case 9:
        return u"Errore durante la connessione"_s;
    default:
        return {};
    }
}

QString TransmissionStatus(int status)
{
    const qint64 id = 2000 + qint64(status);
    if (status >= 0 && id <= 2094) {
        const QString text = LoadResString(int(id));
        if (!text.isEmpty())
            return text;
    }
    return QString::number(status);
}

} // namespace FaxListText
