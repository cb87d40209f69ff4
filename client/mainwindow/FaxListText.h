#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class FaxItem;

// The texts of the main window that need no widget: list columns and rows, the list caption, result
// texts, the report row, the mail text, the connection state and the transmission states.
namespace FaxListText {

// Column indexes of ListFax.
enum Column {
    ColIcon = 0,
    ColStatus = 1,
    ColRemote = 2,
    ColCompany = 3,
    ColFaxNumber = 4,
    ColDate = 5,
    ColPages = 6,
    ColSubject = 7,
    ColDateOrder = 8,
    ColLog = 9,
    ColId = 10,
    ColIdGroup = 11,
};

struct ColumnSpec
{
    QString header;
    int widthTwips = 0;
};

// The columns of the list kind (trash: 12 columns, the three last hidden).
QList<ColumnSpec> Columns(int activeList, bool cestino);

// Readable text of a fax's transmission result; any text not in the table comes back unchanged.
QString DescrizioneEsito(const QString &esito);

// Seconds as "hh:mm:ss"; hours keep their last two digits.
QString TrasformaSecInTime(qint32 secs);

// Status column of a row; in the sent list a pending retry shows "attesa invio - ... al tentativo n/m".
QString StatusColumn(const FaxItem &fax, int activeList);

// Date column: the short date, one blank and the time; eight blanks for a date that is not one.
QString DateColumn(const QString &dateFax);

// The eight texts of columns 1..8 of a row.
QStringList RowTexts(const FaxItem &fax, int activeList);

// The same texts for the rows of a whole list: what a state, a day or a page count gives is made once
// and shared by every row that has it (each text as StatusColumn, DateColumn and the page number give it).
class RowTextCache
{
public:
    explicit RowTextCache(int activeList) : m_activeList(activeList) {}
    QString status(const FaxItem &fax);
    QString date(const QString &dateFax);
    QString pages(int pages);

private:
    int m_activeList;
    QHash<QString, QString> m_status;
    QHash<int, QString> m_dayNumbers; // days written dd?MM?yyyy, by their digits
    QHash<QString, QString> m_days;
    QList<QString> m_pages;
};

// Frame caption of the list; nullopt for a list kind that keeps the caption as it is.
std::optional<QString> ListCaption(int activeList, const QString &testoNodo, int rows, int nDaLeggere);

// Six cells of the transmission report of a fax, and the captions of its columns.
QStringList CaricaDati(const FaxItem &fax);
QStringList ReportTitles();

// Body of a mail about the fax of a row; subItems[n] is the text of column n (0 the row text).
QString ComposeFaxMailText(int kind, const QStringList &subItems);

// Text of the connection state for the status bar; closeLink is set for the states that close the link.
QString WinsockStatusText(int state, const QString &server, bool *closeLink = nullptr);

// Text of a transmission state (string 2000 + status); the bare status number when the table lacks it.
QString TransmissionStatus(int status);

} // namespace FaxListText
