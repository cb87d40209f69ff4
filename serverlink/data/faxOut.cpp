#include "faxOut.h"

#include "Cp1252.h"
#include "TextGuard.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// A field as it goes out: composed and fitted to the code page (what the frame's bytes will hold).
QString wire(const QString &text)
{
    return Cp1252::check(text).wire;
}

} // namespace

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
        wire(fax.AppName()),
        wire(fax.AllFaxFiles()),
        wire(fax.SendRes()),
        QString::number(fax.Retries()),
        QString::number(fax.RetryDelay()),
        wire(fax.SendDate()),
        wire(fax.SendTime()),
        wire(fax.FromLine()),
        wire(fax.FromComp()),
        wire(fax.FromPhon()),
        wire(fax.FromFax()),
        wire(fax.DestName()),
        wire(fax.ToCompany()),
        wire(fax.DestFax()),
        wire(fax.Subject()),
        wire(fax.F_Extra()),
        wire(fax.CoverPage()),
        u"False"_s,
        u"1"_s,
        u"1"_s,
        QString::number(code),
        u"True"_s,
        wire(fax.SentDate()),
        wire(fax.SentTime()),
        QString::number(fax.TotalPages()),
        wire(fax.RemoteID()),
        wire(fax.StatusFax()),
        BoolToVF(fax.Read()),
    };
    return fields.join(FaxFieldSeparatorText);
}

namespace {

struct NamedText
{
    const char *name;
    const char16_t *label; // what the field is, as a user says it
    QString value;
};

QList<NamedText> faxTexts(const faxOut &fax)
{
    return {
        {"AppName", u"programma", fax.AppName()},
        {"AllFaxFiles", u"file del fax", fax.AllFaxFiles()},
        {"SendRes", u"risoluzione", fax.SendRes()},
        {"SendDate", u"data di invio", fax.SendDate()},
        {"SendTime", u"ora di invio", fax.SendTime()},
        {"FromLine", u"mittente", fax.FromLine()},
        {"FromComp", u"azienda del mittente", fax.FromComp()},
        {"FromPhon", u"telefono del mittente", fax.FromPhon()},
        {"FromFax", u"fax del mittente", fax.FromFax()},
        {"DestName", u"destinatario", fax.DestName()},
        {"ToCompany", u"azienda del destinatario", fax.ToCompany()},
        {"DestFax", u"numero di fax del destinatario", fax.DestFax()},
        {"Subject", u"oggetto", fax.Subject()},
        {"F_Extra", u"note", fax.F_Extra()},
        {"CoverPage", u"copertina", fax.CoverPage()},
        {"SentDate", u"data del fax", fax.SentDate()},
        {"SentTime", u"ora del fax", fax.SentTime()},
        {"RemoteID", u"identificativo del mittente", fax.RemoteID()},
        {"StatusFax", u"stato del fax", fax.StatusFax()},
    };
}

bool holdsSeparator(const QString &wire)
{
    return wire.contains(FaxFieldSeparatorText) || wire.contains(FieldSeparatorText) ||
           wire.contains(TerminatorText) || wire.contains(QuerySeparatorText) ||
           wire.contains(AnswerSeparatorText) || wire.contains(RecordSeparatorText) ||
           wire.contains(ListSeparatorText);
}

} // namespace

QStringList unsafeFaxFields(const faxOut &fax)
{
    QStringList bad;
    for (const auto &[name, label, value] : faxTexts(fax)) {
        if (holdsSeparator(wire(value)))
            bad.append(QString::fromLatin1(name));
    }
    return bad;
}

QString unsendableFaxText(const faxOut &fax)
{
    for (const auto &[name, label, value] : faxTexts(fax)) {
        const Cp1252::Check c = Cp1252::check(value);
        if (!c.ok())
            return Cp1252::refusalMessage(QString::fromLatin1(name), c.refused);
    }
    return {};
}

FaxVerdict checkFax(const faxOut &fax)
{
    for (const auto &[name, label, value] : faxTexts(fax)) {
        const TextVerdict v = checkUserText(QStringView(label), value);
        if (!v.ok())
            return {QString::fromLatin1(name), v.problem};
    }
    return {};
}

} // namespace Proto
