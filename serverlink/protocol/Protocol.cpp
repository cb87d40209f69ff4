#include "Protocol.h"

#include "Cp1252.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace Proto {

std::optional<QByteArray> buildFrame(typeofMsg type, QByteArrayView keyword, QByteArrayView data)
{
    if (data.contains(Terminator) || data.contains(QuerySeparator) || data.contains(AnswerSeparator) ||
        keyword.contains(Terminator) || keyword.contains(QuerySeparator) || keyword.contains(AnswerSeparator))
        return std::nullopt;
    const QByteArrayView separator = type == typeAns ? AnswerSeparator : QuerySeparator;
    QByteArray frame;
    frame.reserve(keyword.size() + separator.size() + data.size() + Terminator.size());
    frame.append(keyword).append(separator).append(data).append(Terminator);
    return frame;
}

std::optional<QByteArray> buildFrame(typeofMsg type, QStringView keyword, QStringView data)
{
    return buildFrame(type, QByteArrayView(Cp1252::fromUnicode(keyword)),
                      QByteArrayView(Cp1252::fromUnicode(data)));
}

bool NextRecord(QByteArray &text, QByteArray &record)
{
    const qsizetype at = text.indexOf(RecordSeparator);
    if (at < 0)
        return false;
    record = text.left(at);
    text.remove(0, at + RecordSeparator.size());
    return true;
}

bool NextRecord(QString &text, QString &record)
{
    const qsizetype at = text.indexOf(RecordSeparatorText);
    if (at < 0)
        return false;
    record = text.left(at);
    text.remove(0, at + RecordSeparatorText.size());
    return true;
}

bool RecordReader::next(QByteArrayView &record)
{
    // memchr for the "<" and a compare of the rest: the general substring search is far slower here.
    const char *const begin = m_data.data();
    const char *const end = begin + m_data.size();
    const qsizetype n = RecordSeparator.size();
    const char *p = begin + m_pos;
    while (end - p >= n) {
        p = static_cast<const char *>(std::memchr(p, RecordSeparator.front(), size_t(end - p - n + 1)));
        if (!p)
            return false;
        if (std::memcmp(p, RecordSeparator.data(), size_t(n)) == 0) {
            record = m_data.sliced(m_pos, p - begin - m_pos);
            m_pos = p - begin + n;
            return true;
        }
        ++p;
    }
    return false;
}

QList<QByteArrayView> splitView(QByteArrayView text, QByteArrayView separator)
{
    QList<QByteArrayView> parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        parts.append(text.sliced(from, at - from));
        from = at + separator.size();
    }
    parts.append(text.sliced(from));
    return parts;
}

QList<QByteArrayView> splitView(QByteArrayView text, char separator)
{
    QList<QByteArrayView> parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        parts.append(text.sliced(from, at - from));
        from = at + 1;
    }
    parts.append(text.sliced(from));
    return parts;
}

namespace {

// Calls found(position) for each separator of text in order, until it returns false (then false).
// Records are short and many: the separators are looked for 32, then 16 bytes at a time where the
// processor allows (fewer steps whose count of separators varies), one byte at a time for the rest.
template <typename Found> bool forEachSeparator(QByteArrayView text, char separator, Found found)
{
    const char *const begin = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi8(separator);
    const auto matches = [&](qsizetype at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin + at));
        return quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    };
    const auto each = [&](qsizetype at, quint32 mask) {
        for (; mask != 0; mask &= mask - 1) {
            if (!found(at + qCountTrailingZeroBits(mask)))
                return false;
        }
        return true;
    };
    for (; i + 32 <= n; i += 32) {
        if (!each(i, matches(i) | (matches(i + 16) << 16)))
            return false;
    }
    for (; i + 16 <= n; i += 16) {
        if (!each(i, matches(i)))
            return false;
    }
#endif
    for (; i < n; ++i) {
        if (begin[i] == separator && !found(i))
            return false;
    }
    return true;
}

} // namespace

FieldViews splitFields(QByteArrayView text, char separator)
{
    FieldViews parts;
    qsizetype from = 0;
    forEachSeparator(text, separator, [&](qsizetype at) {
        parts.append(text.sliced(from, at - from));
        from = at + 1;
        return true;
    });
    parts.append(text.sliced(from));
    return parts;
}

qsizetype splitFields(QByteArrayView text, char separator, QByteArrayView *fields, qsizetype max)
{
    if (max <= 0)
        return 0;
    qsizetype count = 0;
    qsizetype from = 0;
    const bool whole = forEachSeparator(text, separator, [&](qsizetype at) {
        fields[count++] = text.sliced(from, at - from);
        from = at + 1;
        return count < max;
    });
    if (whole)
        fields[count++] = text.sliced(from);
    return count;
}

QList<QByteArray> SplitList(QByteArrayView text)
{
    QList<QByteArray> fields;
    const auto views = splitView(text, ListSeparator);
    fields.reserve(views.size());
    for (const QByteArrayView v : views)
        fields.append(v.toByteArray());
    return fields;
}

QStringList SplitList(const QString &text)
{
    return text.split(ListSeparatorText);
}

QString BoolToTF(bool value)
{
    return value ? u"T"_s : u"F"_s;
}

bool TFToBool(QStringView text)
{
    return text == u"T";
}

bool TFToBool(QByteArrayView text)
{
    return text == "T";
}

QString BoolToVF(bool value)
{
    return value ? u"V"_s : u"F"_s;
}

bool VToBool(QStringView text)
{
    return text == u"V";
}

bool VToBool(QByteArrayView text)
{
    return text == "V";
}

bool startsWithV(QByteArrayView text)
{
    return !text.isEmpty() && text.front() == 'V';
}

QString BoolToTrueFalse(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

bool TrueFalseToBool(QStringView text)
{
    return text == u"True";
}

bool TrueFalseToBool(QByteArrayView text)
{
    return text == "True";
}

QString text(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    return Cp1252::toUnicode(bytes.data(), bytes.size());
}

QByteArray bytes(QStringView text)
{
    return Cp1252::fromUnicode(text);
}

} // namespace Proto
