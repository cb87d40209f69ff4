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
    const char16_t *label; // as the forms name it
    QString value;
};

QList<NamedText> faxTexts(const faxOut &fax)
{
    return {
        {"AppName", u"Programma", fax.AppName()},
        {"AllFaxFiles", u"File", fax.AllFaxFiles()},
        {"SendRes", u"Risoluzione", fax.SendRes()},
        {"SendDate", u"Data", fax.SendDate()},
        {"SendTime", u"Ora", fax.SendTime()},
        {"FromLine", u"Da", fax.FromLine()},
        {"FromComp", u"Azienda (mittente)", fax.FromComp()},
        {"FromPhon", u"Numero Telefono", fax.FromPhon()},
        {"FromFax", u"Numero Fax", fax.FromFax()},
        {"DestName", u"A", fax.DestName()},
        {"ToCompany", u"Azienda", fax.ToCompany()},
        {"DestFax", u"Numero fax", fax.DestFax()},
        {"Subject", u"Oggetto", fax.Subject()},
        {"F_Extra", u"Note", fax.F_Extra()},
        {"CoverPage", u"Copertina", fax.CoverPage()},
        {"SentDate", u"Data invio", fax.SentDate()},
        {"SentTime", u"Ora invio", fax.SentTime()},
        {"RemoteID", u"Identificativo", fax.RemoteID()},
        {"StatusFax", u"Stato", fax.StatusFax()},
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
