#pragma once

#include <QString>

// Error codes of the imaging engine. Loading fails with one of the first three when a file is no
// readable image; the control treats those three alike (silent reset). Every other failure carries
// its own code and a description meant for the error box.
namespace ImgXErrorCode {
constexpr qint32 None = 0;
constexpr qint32 InvalidArgument = 5;               // a page index, size or angle the call cannot take
constexpr qint32 PrintFailed = 1000;                // printing failed (the control shows its print error box)
constexpr qint32 NotAnImage = qint32(0x800402A0);   // no known image format in the file
constexpr qint32 EmptyFile = qint32(0x8004038C);    // the file holds no data at all
constexpr qint32 CorruptImage = qint32(0x8004028E); // known format, damaged or truncated data
constexpr qint32 FileNotFound = qint32(0x80040035);
constexpr qint32 ReadFailed = qint32(0x80040036);  // the file exists but cannot be read
constexpr qint32 WriteFailed = qint32(0x80040037); // the file could not be written (nothing is left behind)
constexpr qint32 FormatNotWritable = qint32(0x80040038); // nothing here writes that format
constexpr qint32 FormatNotReadable = qint32(0x80040039); // format known, but no reader for it here
constexpr qint32 PagesLeftOut = qint32(0x8004003E); // writing over a file whose unread pages it would lose
constexpr qint32 NoImage = qint32(0x8004003A);           // the document has no page to work on
constexpr qint32 NothingToUndo = qint32(0x8004003B);
constexpr qint32 Cancelled = qint32(0x8004003C); // a Progress handler cancelled the load or save

// True for the three codes meaning "the file is no readable image".
inline bool isNotAnImage(qint32 code)
{
    return code == NotAnImage || code == EmptyFile || code == CorruptImage;
}
} // namespace ImgXErrorCode

struct ImgXError
{
    qint32 number = ImgXErrorCode::None;
    QString description;
    QString source = QStringLiteral("ImgX");

    bool isError() const { return number != ImgXErrorCode::None; }
    explicit operator bool() const { return isError(); }
    static ImgXError make(qint32 number, const QString &description)
    {
        ImgXError e;
        e.number = number;
        e.description = description;
        return e;
    }
};
