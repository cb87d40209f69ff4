#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

#include <optional>

// Message kind of a frame.
enum typeofMsg : int { typeNoMsg = 0, typeQry = 1, typeAns = 2 };

// The server's fax lists.
enum typeOfList : int { Forwardlist = 0, PersonalList = 1, SentList = 2, DeletedList = 3, NullList = 99 };

// User rights (fields of the login answer).
enum class AccessCodes : int { Admin = 0, Spedizione = 1, Inoltro = 2, ModificaRubrica = 3, Ultimo = 4 };

// Shared address-book rights.
enum class AccessPhoneBook : int {
    CancRubrica = 0,
    ReadRubrica = 1,
    ModifyRubrica = 2,
    AddRubrica = 3,
    Ultimo = 4
};

// Upload state of an outgoing fax.
enum statusCommand : int { stOK = 0, stsending = 1, stWaiting = 2 };

namespace Proto {

// Frame and data separators as Windows-1252 bytes.
inline constexpr QByteArrayView QuerySeparator{"<\xA5>"};      // 3C A5 3E, typeQry
inline constexpr QByteArrayView AnswerSeparator{"<\xB6>"};     // 3C B6 3E, typeAns
inline constexpr QByteArrayView Terminator{"<\xA7>"};          // 3C A7 3E, ends a frame
inline constexpr QByteArrayView FieldSeparator{"<#>"};         // 3C 23 3E, fields of a message
inline constexpr QByteArrayView RecordSeparator{"<\xCC\xCC>"}; // 3C CC CC 3E, ends each record of a list
inline constexpr char ListSeparator = '\xA6';                  // A6, fields of one record
inline constexpr QByteArrayView FaxFieldSeparator{"<\xBF>"};   // 3C BF 3E, fields of MsgCampi

// The same separators as text, for data built as QString before it is encoded.
inline const QString QuerySeparatorText = QStringLiteral("<\u00A5>");
inline const QString AnswerSeparatorText = QStringLiteral("<\u00B6>");
inline const QString TerminatorText = QStringLiteral("<\u00A7>");
inline const QString FieldSeparatorText = QStringLiteral("<#>");
inline const QString RecordSeparatorText = QStringLiteral("<\u00CC\u00CC>");
inline constexpr QChar ListSeparatorText{u'\u00A6'};
inline const QString FaxFieldSeparatorText = QStringLiteral("<\u00BF>");

// Frame: keyword, "<¶>" for typeAns and "<¥>" for any other type, data, "<§>".
// No frame (nullopt) when the data or the keyword holds the terminator or a frame separator: such text
// would cut the frame short (the receiver splits a frame at its first "<¥>"/"<¶>") or let the rest pass
// as frames of its own.
std::optional<QByteArray> buildFrame(typeofMsg type, QByteArrayView keyword, QByteArrayView data);
// Text data goes through the Windows-1252 codec.
std::optional<QByteArray> buildFrame(typeofMsg type, QStringView keyword, QStringView data);

// Cuts the first record closed by "<ÌÌ>" from the front of text. False, text unchanged, when there is none.
// Repeated calls copy the rest each time; the parsers walk long answers with RecordReader instead.
bool NextRecord(QByteArray &text, QByteArray &record);
bool NextRecord(QString &text, QString &record);

// Walks the records of a list answer without copying: each record is a view into the data,
// valid while the data lives. Text after the last "<ÌÌ>" is never returned.
class RecordReader
{
public:
    explicit RecordReader(QByteArrayView data) : m_data(data) {}
    bool next(QByteArrayView &record);
    // What has not been cut yet (the data in hand for error sources).
    QByteArrayView rest() const { return m_data.sliced(m_pos); }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

// The text split at every "¦"; an empty text gives one empty field.
QList<QByteArray> SplitList(QByteArrayView text);
QStringList SplitList(const QString &text);
// Same, as views into text (no copies).
QList<QByteArrayView> splitView(QByteArrayView text, QByteArrayView separator);
QList<QByteArrayView> splitView(QByteArrayView text, char separator);
// Same without a heap allocation for records of up to 16 fields.
using FieldViews = QVarLengthArray<QByteArrayView, 16>;
FieldViews splitFields(QByteArrayView text, char separator);
// Only the first max fields, into fields (the last of them ends at the next separator or the end of the
// text); returns how many were found, at most max.
qsizetype splitFields(QByteArrayView text, char separator, QByteArrayView *fields, qsizetype max);

// Truth values, three spellings, each fixed per message.
QString BoolToTF(bool value);    // "T" / "F"
bool TFToBool(QStringView text); // exactly "T"
bool TFToBool(QByteArrayView text);
QString BoolToVF(bool value);   // "V" / "F"
bool VToBool(QStringView text); // exactly "V"
bool VToBool(QByteArrayView text);
bool startsWithV(QByteArrayView text);  // first character "V" (fax and contact records)
QString BoolToTrueFalse(bool value);    // "True" / "False"
bool TrueFalseToBool(QStringView text); // exactly "True"
bool TrueFalseToBool(QByteArrayView text);

// Windows-1252 text of wire bytes and back.
QString text(QByteArrayView bytes);
QByteArray bytes(QStringView text);

} // namespace Proto
