#include "SampleMailbox.h"

#include "FaxTiffFixture.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

using F = FakeFaxServer;

int minutesSince2006(const QDateTime &when)
{
    const QDateTime epoch(QDate(2006, 1, 1), QTime(0, 0));
    return int(epoch.secsTo(when) / 60);
}

QByteArray join(const QStringList &fields, const QByteArray &sep)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out += sep;
        out += F::latin(fields[i]);
    }
    return out;
}

} // namespace

SampleMailbox::SampleMailbox(QObject *parent) : QObject(parent)
{
    m_versions = {u"1.0.0"_s, u"1.0.0"_s, u"1.0.0"_s, u"1.0.0"_s, u"1.0.0"_s};
    m_folders = {
        {1, 5, u"Clienti"_s, false},    {5, 6, u"Rossi S.p.A."_s, false},    {1, 7, u"Fornitori"_s, true},
        {2, 8, u"Preventivi"_s, false}, {3, 9, u"Ufficio acquisti"_s, true},
    };
    const QDateTime now = QDateTime::currentDateTime();
    auto at = [&](int daysAgo, int hour, int minute) {
        return minutesSince2006(QDateTime(now.date().addDays(-daysAgo), QTime(hour, minute)));
    };
    m_faxes = {
        {u"P101"_s,
         u"PERSONALI"_s,
         1,
         u"1"_s,
         u"8"_s,
         u"+39 02 5551234"_s,
         u"Rossi S.p.A."_s,
         u"025551234"_s,
         u"Ordine 4711"_s,
         {},
         at(0, 9, 12),
         2,
         false,
         false,
         {}},
        {u"P102"_s,
         u"PERSONALI"_s,
         1,
         u"1"_s,
         u"4"_s,
         u"+39 06 5550000"_s,
         u"Studio Bianchi"_s,
         u"065550000"_s,
         u"Contratto di assistenza"_s,
         {},
         at(1, 16, 40),
         3,
         true,
         false,
         {}},
        {u"P103"_s,
         u"PERSONALI"_s,
         5,
         u"1"_s,
         u"8"_s,
         u"+39 011 5557777"_s,
         u"Verdi & C."_s,
         u"0115557777"_s,
         u"Listino prezzi"_s,
         {},
         at(3, 11, 5),
         1,
         true,
         false,
         {}},
        {u"R201"_s,
         u"INOLTRO"_s,
         3,
         u"1"_s,
         u""_s,
         u"+39 02 5559876"_s,
         u"Neri S.r.l."_s,
         u"025559876"_s,
         u"Richiesta offerta"_s,
         {},
         at(0, 8, 30),
         2,
         false,
         false,
         {}},
        {u"R202"_s,
         u"INOLTRO"_s,
         3,
         u"1"_s,
         u"1"_s,
         u"+39 051 5551111"_s,
         u"Gialli SNC"_s,
         u"0515551111"_s,
         u"Conferma spedizione"_s,
         {},
         at(2, 14, 0),
         1,
         true,
         false,
         {}},
        {u"S301"_s,
         u"SPEDITI"_s,
         2,
         u"1"_s,
         u"8"_s,
         u"+39 02 5551234"_s,
         u"Rossi S.p.A."_s,
         u"025551234"_s,
         u"Offerta 2026/118"_s,
         u"Mario Rossi"_s,
         at(1, 10, 15),
         2,
         true,
         false,
         {}},
        {u"S302"_s,
         u"SPEDITI"_s,
         2,
         u"C"_s,
         u"8"_s,
         u"+39 06 5553333"_s,
         u"Blu Consulting"_s,
         u"065553333"_s,
         u"Sollecito"_s,
         u"Anna Blu"_s,
         at(0, 12, 1),
         1,
         true,
         false,
         {}},
        {u"C401"_s,
         u"CANCELLATI"_s,
         4,
         u"1"_s,
         u"8"_s,
         u"+39 0321 555222"_s,
         u"Vecchia Ditta"_s,
         u"0321555222"_s,
         u"Pubblicità"_s,
         {},
         at(9, 18, 20),
         1,
         true,
         false,
         {}},
    };
    m_contacts = {
        {{u"Mario"_s, u"Rossi"_s, u"Via Roma 1"_s, u"20100"_s, u"Milano"_s, u"MI"_s, u"025551234"_s, u""_s,
          u"025551235"_s, u"Rossi S.p.A."_s, u"mario.rossi@example.com"_s},
         11,
         true},
        {{u"Anna"_s, u"Blu"_s, u"Piazza Navona 3"_s, u"00186"_s, u"Roma"_s, u"RM"_s, u"065553333"_s, u""_s,
          u"065553334"_s, u"Blu Consulting"_s, u"anna@example.com"_s},
         12,
         false},
        {{u"Luigi"_s, u"Verdi"_s, u"Corso Francia 9"_s, u"10138"_s, u"Torino"_s, u"TO"_s, u"0115557777"_s,
          u"3335550001"_s, u"0115557778"_s, u"Verdi & C."_s, u"luigi@example.com"_s},
         13,
         true},
    };

    // One fax image each; an image whose bytes hold the frame terminator could not travel, so such a
    // page is drawn again with a different caption.
    m_valid = m_images.isValid();
    for (Fax &fax : m_faxes) {
        if (!m_valid)
            break;
        const QString path = m_images.filePath(fax.id + u".tif"_s);
        bool done = false;
        for (int attempt = 0; attempt < 5 && !done; ++attempt) {
            const QString heading = fax.company + QString(attempt, u' ');
            if (!FaxTiffFixture::write(path, fax.pages, fax.id.toUtf8().back() % 2 == 1, heading,
                                       {fax.subject, u"Da: "_s + fax.remoteId, u"Fax n. "_s + fax.id}))
                break;
            QFile f(path);
            done = f.open(QIODevice::ReadOnly) && !f.readAll().contains(F::Terminator);
        }
        fax.image = path;
        m_valid = done;
    }
}

void SampleMailbox::attach(FakeFaxServer *server)
{
    server->setResponder([this](FakeFaxServer &s, const FakeFaxServer::Frame &f) { respond(s, f); });
}

QStringList SampleMailbox::keysOf(const QString &list)
{
    QString inner = list.trimmed();
    if (inner.startsWith(u'('))
        inner = inner.mid(1);
    if (inner.endsWith(u')'))
        inner.chop(1);
    QStringList keys;
    for (const QString &k : inner.split(u',', Qt::SkipEmptyParts))
        keys.append(k.trimmed());
    return keys;
}

SampleMailbox::Fax *SampleMailbox::findFax(const QString &key)
{
    for (Fax &fax : m_faxes) {
        // Requests carry the key as listed, or the bare number.
        if (fax.id == key || fax.id.mid(1) == key)
            return &fax;
    }
    return nullptr;
}

QByteArray SampleMailbox::listAnswer(const QString &list, int folder) const
{
    QByteArray records;
    int count = 0;
    const bool sent = list == u"SPEDITI"_s;
    for (const Fax &fax : m_faxes) {
        if (fax.list != list || fax.folder != folder)
            continue;
        ++count;
        QStringList fields = {fax.id,
                              fax.status,
                              fax.icon,
                              fax.remoteId,
                              fax.company,
                              fax.faxNumber,
                              QString::number(fax.minutes),
                              QString::number(fax.pages),
                              fax.subject,
                              fax.read ? u"V"_s : u"F"_s};
        if (sent)
            fields << u"3"_s << (fax.status == u"1"_s ? u"1"_s : u"3"_s) << u"1"_s;
        records += F::ListSep + join(fields, F::ListSep) + F::RecordSep;
    }
    return QByteArray::number(count) + F::RecordSep + records;
}

QByteArray SampleMailbox::infoAnswer(const QString &list, const QString &keys) const
{
    QByteArray out;
    for (const QString &key : keysOf(keys)) {
        for (const Fax &fax : m_faxes) {
            if (fax.id != key && fax.id.mid(1) != key)
                continue;
            const QDateTime when =
                QDateTime(QDate(2006, 1, 1), QTime(0, 0)).addSecs(qint64(fax.minutes) * 60);
            const QStringList fields = {list,
                                        fax.destName,
                                        fax.company,
                                        fax.faxNumber,
                                        when.toString(u"dd/MM/yyyy HH.mm"_s),
                                        QString::number(fax.pages),
                                        fax.subject,
                                        u"3"_s,
                                        QString::number(fax.pages),
                                        QString::number(35 * fax.pages),
                                        fax.status,
                                        u"14400"_s,
                                        fax.id};
            out += join(fields, F::ListSep) + F::RecordSep;
        }
    }
    return out;
}

QByteArray SampleMailbox::treeAnswer(int root) const
{
    // The folders below one fixed root, parents before children.
    QList<int> ids = {root};
    QStringList pieces;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        for (const Folder &f : m_folders) {
            if (f.parent == ids[i]) {
                ids.append(f.id);
                pieces << QString::number(f.parent) << QString::number(f.id) << f.name
                       << (f.shared ? u"V"_s : u"F"_s);
            }
        }
    }
    return join(pieces, F::FieldSep);
}

QByteArray SampleMailbox::forwardAnswer(bool users, const QString &key) const
{
    struct Entry
    {
        QString id, code, name, extra;
    };
    const QList<Entry> entries =
        users ? QList<Entry>{{u"U12"_s, u"0012"_s, u"Rossi"_s, u"rossi@example.com"_s},
                             {u"U14"_s, u"0014"_s, u"Bianchi"_s, u"bianchi@example.com"_s},
                             {u"U15"_s, u"0015"_s, u"Esposito"_s, u""_s}}
              : QList<Entry>{{u"G1"_s, u"G001"_s, u"Amministrazione"_s, u"Rossi, Bianchi"_s},
                             {u"G2"_s, u"G002"_s, u"Magazzino"_s, u"Esposito"_s}};
    QByteArray out;
    for (const Entry &e : entries) {
        QStringList pieces = {QString(), e.id, e.code, e.name, u"False"_s, key, e.extra};
        if (users)
            pieces << u"False"_s;
        out += join(pieces, F::FieldSep) + F::RecordSep;
    }
    return out;
}

QByteArray SampleMailbox::bookAnswer() const
{
    QByteArray out;
    for (const Contact &c : m_contacts) {
        QStringList fields = c.fields;
        while (fields.size() < 11)
            fields.append(QString());
        fields << QString::number(c.id) << (c.isPublic ? u"V"_s : u"F"_s);
        out += join(fields, F::ListSep) + F::RecordSep;
    }
    return out;
}

void SampleMailbox::sendImage(FakeFaxServer &server, const QString &key)
{
    const Fax *fax = findFax(key);
    QFile file(fax ? fax->image : QString());
    if (!fax || !file.open(QIODevice::ReadOnly)) {
        server.sendNow(F::answer(u"NOFILE", QString::number(key.mid(1).toInt())));
        return;
    }
    const QByteArray content = file.readAll();
    server.streamFile(
        content.size(), [content](qint64 offset, qint64 length) { return content.mid(offset, length); },
        32768, fax->id);
}

std::optional<SampleMailbox::Fax> SampleMailbox::sentFax(const FakeFaxServer &server, const QString &key)
{
    Fax fax{u"S"_s + QString::number(m_nextSent++), u"SPEDITI"_s, 2, u"1"_s, u"8"_s, {}, {}, {},
            u"Fax "_s + key, {}, minutesSince2006(QDateTime::currentDateTime()), 1, true, false, {}};
    // The announcement: files "+"-joined, the key, the fax's fields, the cover page.
    QStringList announced;
    for (const FakeFaxServer::Frame &f : server.receivedFrames("NEWFAX")) {
        if (f.text().section(u"<#>"_s, 1, 1) == key)
            announced = f.text().split(u"<#>"_s);
    }
    if (announced.isEmpty())
        return std::nullopt;
    FakeFaxServer::FiledFax filed;
    for (const FakeFaxServer::FiledFax &f : server.filedFaxes()) {
        if (FakeFaxServer::Frame{{}, f.announcement}.text().section(u"<#>"_s, 1, 1) == key)
            filed = f;
    }
    const QStringList fields = announced.value(2).split(u"<\u00BF>"_s);
    fax.destName = fields.value(12);
    fax.remoteId = fax.destName;
    fax.company = fields.value(13);
    fax.faxNumber = fields.value(14);
    if (!fields.value(15).isEmpty())
        fax.subject = fields.value(15);
    const QStringList documents = announced.value(0).split(u'+', Qt::SkipEmptyParts);

    // The pages of the documents that are images, in the order they were announced. A single fax
    // image is kept as it came.
    QList<QImage> pages;
    QByteArray single;
    for (const QString &name : documents) {
        QBuffer buffer;
        buffer.setData(filed.documents.value(F::latin(name)));
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const qsizetype before = pages.size();
        const int count = std::max(1, reader.imageCount());
        for (int i = 0; i < count && (i == 0 || reader.jumpToImage(i)); ++i) {
            const QImage page = reader.read();
            if (page.isNull())
                break;
            pages.append(page);
        }
        if (pages.size() > before)
            single = before == 0 && reader.format() == "tiff" ? buffer.data() : QByteArray();
    }
    const QString path = m_images.filePath(fax.id + u".tif"_s);
    bool written = false;
    if (!single.isEmpty()) {
        QFile file(path);
        written = file.open(QIODevice::WriteOnly) && file.write(single) == single.size();
    } else if (!pages.isEmpty()) {
        written = FaxTiffFixture::writePages(path, pages);
    }
    if (!written) {
        // No document held a page (a text file): one page that says what was sent.
        pages = {QImage()};
        written = FaxTiffFixture::write(path, 1, true, fax.subject,
                                        QStringList{u"A: "_s + fax.destName, fax.company} + documents);
    }
    fax.pages = int(pages.size());
    fax.image = written ? path : QString();
    return fax;
}

void SampleMailbox::respond(FakeFaxServer &server, const FakeFaxServer::Frame &frame)
{
    const QString kw = QString::fromLatin1(frame.keyword);
    const QString data = frame.text();
    const QStringList fields = data.split(u"<#>"_s);

    if (kw == u"USER"_s && frame.answer) {
        m_user = data;
        server.sendNow(F::answer(u"VERSIONI", m_versions.join(u"<#>"_s)));
        server.sendNow(F::answer(u"USER", QString(m_user + u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s)));
    } else if (kw == u"CHILDRENTREE"_s) {
        server.sendNow(F::rawAnswer("CHILDRENTREE", treeAnswer(data.toInt())));
    } else if (kw == u"INOLTRO"_s || kw == u"PERSONALI"_s || kw == u"SPEDITI"_s || kw == u"CANCELLATI"_s) {
        server.sendNow(F::rawAnswer(frame.keyword, listAnswer(kw, data.toInt())));
    } else if (kw == u"FILE"_s && !frame.answer) {
        sendImage(server, fields.value(1));
    } else if (kw == u"GETINFO"_s || kw == u"GETREPORT"_s) {
        server.sendNow(F::rawAnswer(frame.keyword, infoAnswer(fields.value(0), fields.value(1))));
    } else if (kw == u"FRM_INOLTRO"_s) {
        server.sendNow(F::rawAnswer("FRM_INOLTRO_GRP", forwardAnswer(false, data)));
        server.sendNow(F::rawAnswer("FRM_INOLTRO_USR", forwardAnswer(true, data)));
    } else if (kw == u"ASKRUBRICA"_s) {
        server.sendNow(F::rawAnswer("RUBRICA", bookAnswer()));
    } else if (kw == u"NEW_CONTATTO"_s) {
        Contact c;
        c.fields = fields.mid(0, 11);
        c.isPublic = fields.value(11) == u"V"_s;
        c.id = m_nextContact++;
        m_contacts.append(c);
    } else if (kw == u"UPD_CONTATTO"_s) {
        for (Contact &c : m_contacts) {
            if (c.id == fields.value(12).toInt()) {
                c.fields = fields.mid(0, 11);
                c.isPublic = fields.value(11) == u"V"_s;
            }
        }
    } else if (kw == u"DELETECONTACT"_s) {
        m_contacts.removeIf([&](const Contact &c) { return c.id == data.toInt(); });
    } else if (kw == u"NEWFOLDER"_s) {
        Folder f{fields.value(1).toInt(), m_nextFolder++, fields.value(0), fields.value(2) == u"T"_s};
        m_folders.append(f);
        server.sendNow(F::answer(
            u"NEWFOLDER", u"%1<#>%2<#>%3<#>%4"_s.arg(f.name).arg(f.parent).arg(fields.value(2)).arg(f.id)));
    } else if (kw == u"RENAMEFOLDER"_s) {
        for (Folder &f : m_folders) {
            if (f.id == fields.value(1).toInt())
                f.name = fields.value(0);
        }
    } else if (kw == u"ELIMINAFOLDER"_s) {
        m_folders.removeIf([&](const Folder &f) { return f.id == data.toInt(); });
    } else if (kw == u"LETTO"_s || kw == u"STAMPATO"_s) {
        for (const QString &key : keysOf(fields.value(1))) {
            if (Fax *fax = findFax(key)) {
                (kw == u"LETTO"_s ? fax->read : fax->printed) = fields.value(2) == u"True"_s;
            }
        }
    } else if (kw == u"CESTINA"_s) {
        for (const QString &key : keysOf(fields.value(1))) {
            if (Fax *fax = findFax(key)) {
                fax->list = u"CANCELLATI"_s;
                fax->folder = 4;
            }
        }
    } else if (kw == u"SPOSTA"_s) {
        for (const QString &key : keysOf(fields.value(4))) {
            if (Fax *fax = findFax(key))
                fax->folder = fields.value(1).toInt();
        }
    } else if (kw == u"UPDATEFILES"_s) {
        server.sendNow(F::answer(u"TBUPDATE", u"0"_s));
        server.sendNow(F::answer(u"FINEUPD"));
    } else if (kw == u"FINEFAX"_s) {
        // A new fax goes out at once and shows under "Spediti", as it was announced and with the pages
        // that came. The upload of an edited image is no new fax.
        const QString key = data;
        const std::optional<Fax> sent = sentFax(server, key);
        if (!sent)
            return;
        const Fax &fax = *sent;
        server.sendNow(F::answer(u"FAXPROGRSTART", key));
        server.sendNow(F::answer(u"FAXPROGR", QStringList{u"FAXSERVER"_s, u"14400"_s, u"1"_s,
                                                          QString::number(fax.pages), u"100"_s, u"14"_s,
                                                          fax.destName, fax.faxNumber, u"0"_s, u"3"_s, key}
                                                  .join(u"<#>"_s)));
        server.sendNow(F::answer(u"FAXPROGREND", key));
        m_faxes.append(fax);
        const QStringList rec = {fax.id,      fax.status, fax.icon,  fax.remoteId,
                                 fax.company, fax.faxNumber, QString::number(fax.minutes),
                                 QString::number(fax.pages), fax.subject, u"V"_s, u"0"_s, u"1"_s, u"1"_s};
        server.sendNow(F::rawAnswer("FAXCOMPLETE", F::ListSep + join(rec, F::ListSep)));
    }
}
