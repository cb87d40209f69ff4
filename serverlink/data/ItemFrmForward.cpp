#include "ItemFrmForward.h"

#include "Protocol.h"

using namespace Qt::StringLiterals;

QString ListItemFrmForward::checkedIds() const
{
    QString ids;
    for (const ItemFrmForward &item : *this) {
        if (item.IsChecked())
            ids += Proto::FieldSeparatorText + item.IdItem();
    }
    return ids;
}

namespace Proto {

std::unique_ptr<ListItemFrmForward> parseFrmForward(QByteArrayView data, bool users, const ErrorSink &onError)
{
    auto list = std::make_unique<ListItemFrmForward>();
    const qsizetype needed = users ? 8 : 7;
    RecordReader reader(data);
    QByteArrayView record;
    while (reader.next(record)) {
        const QList<QByteArrayView> p = splitView(record, FieldSeparator);
        if (p.size() == 1) {
            list->Add(std::make_unique<ItemFrmForward>());
            continue;
        }
        if (p.size() < needed) {
            reportError(onError, ErrorCode::OutOfRange, u"FrmForward : "_s + Proto::text(record));
            return nullptr;
        }
        auto item = std::make_unique<ItemFrmForward>();
        item->setIdItem(Proto::text(p[1].isEmpty() ? p[1] : p[1].sliced(1)));
        item->setCode(Proto::text(p[2]));
        item->setName(Proto::text(p[3]));
        item->setIsChecked(TrueFalseToBool(p[4]));
        item->setKeyFax(Proto::text(p[5]));
        if (users) {
            item->setMail(Proto::text(p[6]));
            item->setOnlyMsg(TrueFalseToBool(p[7]));
        } else {
            item->setGroupComponents(Proto::text(p[6]));
        }
        const QString key = item->IdItem();
        if (!list->Add(std::move(item), key)) {
            reportError(onError, ErrorCode::DuplicateKey, u"FrmForward : "_s + Proto::text(record));
            return nullptr;
        }
    }
    return list;
}

} // namespace Proto
