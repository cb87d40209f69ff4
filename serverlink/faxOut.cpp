#include "faxOut.h"

#include "Cp1252.h"

#include <limits>

using namespace Qt::StringLiterals;

void faxOut::setAllFaxFiles(const QString &v)
{
    m_AllFaxFiles = v;
    const QStringList pieces = v.split(u'+', Qt::SkipEmptyParts);
    m_Files.append(pieces);
    m_idxFileSending = -1;
}

QString faxOut::NextFiletoSend(bool &isCover)
{
    if (m_idxFileSending < 0)
        m_idxFileSending = 0;
    if (m_idxFileSending < std::numeric_limits<qint16>::max())
        ++m_idxFileSending;
    if (m_idxFileSending >= 1 && m_idxFileSending <= m_Files.size())
        return m_Files.at(m_idxFileSending - 1);
    if (!m_CoverPage.trimmed().isEmpty() && !m_coverSent) {
        isCover = true;
        m_coverSent = true;
        return m_CoverPage;
    }
    return {};
}

QString faxOut::FileSending() const
{
    if (m_idxFileSending >= 1 && m_idxFileSending <= m_Files.size())
        return m_Files.at(m_idxFileSending - 1);
    if (m_idxFileSending == m_Files.size() + 1)
        return m_CoverPage;
    return {};
}

namespace Proto {

QString BuildFaxFields(const faxOut &fax, qint16 code)
{
    const QStringList fields = {
        QString::number(fax.user()),
        fax.AppName(),
        fax.AllFaxFiles(),
        fax.SendRes(),
        QString::number(fax.Retries()),
        QString::number(fax.RetryDelay()),
        fax.SendDate(),
        fax.SendTime(),
        fax.FromLine(),
        fax.FromComp(),
        fax.FromPhon(),
        fax.FromFax(),
        fax.DestName(),
        fax.ToCompany(),
        fax.DestFax(),
        fax.Subject(),
        fax.F_Extra(),
        fax.CoverPage(),
        u"False"_s,
        u"1"_s,
        u"1"_s,
        QString::number(code),
        u"True"_s,
        fax.SentDate(),
        fax.SentTime(),
        QString::number(fax.TotalPages()),
        fax.RemoteID(),
        fax.StatusFax(),
        BoolToVF(fax.Read()),
    };
    return fields.join(FaxFieldSeparatorText);
}

namespace {

struct NamedText
{
    const char *name;
    QString value;
};

QList<NamedText> faxTexts(const faxOut &fax)
{
    return {
        {"AppName", fax.AppName()},     {"AllFaxFiles", fax.AllFaxFiles()}, {"SendRes", fax.SendRes()},
        {"SendDate", fax.SendDate()},   {"SendTime", fax.SendTime()},       {"FromLine", fax.FromLine()},
        {"FromComp", fax.FromComp()},   {"FromPhon", fax.FromPhon()},       {"FromFax", fax.FromFax()},
        {"DestName", fax.DestName()},   {"ToCompany", fax.ToCompany()},     {"DestFax", fax.DestFax()},
        {"Subject", fax.Subject()},     {"F_Extra", fax.F_Extra()},         {"CoverPage", fax.CoverPage()},
        {"SentDate", fax.SentDate()},   {"SentTime", fax.SentTime()},       {"RemoteID", fax.RemoteID()},
        {"StatusFax", fax.StatusFax()},
    };
}

} // namespace

QStringList unsafeFaxFields(const faxOut &fax)
{
    QStringList bad;
    for (const auto &[name, value] : faxTexts(fax)) {
        if (value.contains(FaxFieldSeparatorText) || value.contains(FieldSeparatorText) ||
            value.contains(TerminatorText) || value.contains(QuerySeparatorText) ||
            value.contains(AnswerSeparatorText) || value.contains(RecordSeparatorText) ||
            value.contains(ListSeparatorText))
            bad.append(QString::fromLatin1(name));
    }
    return bad;
}

QString unsendableFaxText(const faxOut &fax)
{
    for (const auto &[name, value] : faxTexts(fax)) {
        const Cp1252::Check c = Cp1252::check(value);
        if (!c.ok())
            return Cp1252::refusalMessage(QString::fromLatin1(name), c.refused);
    }
    return {};
}

} // namespace Proto
