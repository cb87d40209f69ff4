// The address-book exports of mail programs. Every row must carry all its columns, and fields written
// the way those programs quote them must split back into the same fields.
#include "AddressImport.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t choice = in.byte();
    static const AddressImport::Layout layouts[] = {AddressImport::Layout::MicrosoftOutlook,
                                                    AddressImport::Layout::OutlookExpress,
                                                    AddressImport::Layout::MozillaThunderbird};
    const AddressImport::Layout layout = layouts[choice % 3];
    const QByteArray bytes = in.rest().toByteArray();

    const AddressImport::Result result = AddressImport::parse(bytes, layout);
    for (const AddressImport::Row &row : result.rows)
        Fuzz::check(row.values.size() == AddressImport::ColumnCount, "a row lost columns");

    // Round trip of one record: the input's text cut at NULs into fields, each quoted with doubled quotes.
    const QChar separator = (choice & 8) ? u';' : u',';
    const QStringList fields = QString::fromUtf8(bytes).split(QChar(0));
    QString record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            record += separator;
        record += u'"' + QString(fields[i]).replace(u"\""_s, u"\"\""_s) + u'"';
    }
    const QStringList back = AddressImport::splitRecord(record, separator);
    Fuzz::check(back == fields, "quoted fields split back different", record);
    return 0;
}
