// File reception: fax images into NameTempFile, update files into the NameUpdateFolder folder.
#include "QuorinSock.h"

#include "WireNumbers.h"
#include "WriteFailure.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// An update file name must be a plain name: no folder part, nothing that climbs out of the folder.
bool safeUpdateName(const QString &name)
{
    if (name.trimmed().isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() == 0)
            return false;
    }
    return true;
}

// No download is kept past this, whatever the server announces: the private temporary folder is small.
constexpr qint64 MaxDownloadBytes = qint64(512) << 20;

ParseError makeError(int number, const QString &source)
{
    return {number, ErrorCode::description(number), source};
}

// A name from the server as the user is shown it: a hostile one may be long.
QString shownName(const QString &name)
{
    return name.size() > 80 ? name.left(77) + u"..."_s : name;
}

ParseError shortUpdateError(const QString &name, const QString &source)
{
    return {ErrorCode::InvalidCall,
            u"Il file di aggiornamento «%1» non è arrivato intero: rimosso."_s.arg(shownName(name)), source};
}

} // namespace

void QuorinSock::closeDownload()
{
    if (m_download.isOpen())
        m_download.close();
}

// A download still open was never ended: nothing of it stays behind. An update file must not stay where
// it would be installed and raises Error; a fax image is deleted, and raises RxFaxIncomplete when
// `reportImage` (no other answer will tell the host).
bool QuorinSock::dropUnfinished(bool reportImage)
{
    if (!m_download.isOpen())
        return false;
    closeDownload();
    if (!m_downloadIsUpdate) {
        discardTempFile();
        if (reportImage)
            Q_EMIT RxFaxIncomplete();
        return true;
    }
    QFile::remove(m_currentUpdateFile);
    const QString name = LinkUtils::GetFileName(m_currentUpdateFile);
    const ParseError e = shortUpdateError(name, u"DataArrival.ENDFILE : "_s + name);
    RaiseErrorEvent(e.number, e.description, 0, e.source);
    return true;
}

// The received image could not be deleted (still open somewhere): set it aside for later and move on
// to the first free name beside it.
void QuorinSock::discardTempFile()
{
    if (LinkUtils::KillFile(m_nameTempFile) != 0)
        return;
    m_pendingDeletions.add(m_nameTempFile);
    PurgePendingFiles();
    const QString next = LinkUtils::JoinPath(u"TMPFAX.TIF"_s, m_tempDir);
    if (!next.isEmpty())
        m_nameTempFile = next;
}

// The download in hand stops and leaves nothing behind; the rest of its pieces are dropped, its end
// reports it (a fax image as incomplete) and the link goes on.
void QuorinSock::stopDownload()
{
    closeDownload();
    if (m_downloadIsUpdate)
        QFile::remove(m_currentUpdateFile);
    else
        discardTempFile();
    m_downloadRefused = true;
}

bool QuorinSock::startFile(const QByteArray &data, ParseError &error)
{
    closeDownload();
    m_downloadRefused = false;
    const QList<QByteArrayView> f = Proto::splitView(data, Proto::FieldSeparator);
    bool ok = false;
    m_expectedSize = Wire::toLong(f.value(0), &ok);
    m_receivedSize = 0;
    m_downloadIsUpdate = f.size() > 1 && !f[1].isEmpty();
    if (!ok) {
        error = makeError(ErrorCode::TypeMismatch, u"STARTFILE"_s);
        m_downloadRefused = true;
        return false;
    }
    const QString updateName = f.size() > 1 ? Proto::text(f[1]) : QString();
    m_downloadIsUpdate = !updateName.isEmpty();
    if (m_expectedSize < 0 || m_expectedSize > MaxDownloadBytes) {
        m_downloadRefused = true;
        error = {ErrorCode::OutOfRange,
                 m_expectedSize < 0
                     ? u"Il server annuncia un file di %1 byte: dimensione non valida."_s.arg(m_expectedSize)
                     : u"Il server annuncia un file di %1 byte: oltre il limite di %2 byte."_s.arg(m_expectedSize).arg(
                           MaxDownloadBytes),
                 u"STARTFILE"_s};
        return false;
    }
    if (!updateName.isEmpty()) {
        if (!safeUpdateName(updateName)) {
            // Nothing may be written outside the update folder: the whole file is refused.
            m_downloadRefused = true;
            error = {ErrorCode::InvalidCall,
                     u"File di aggiornamento rifiutato: il nome «%1» proposto dal server non è un "
                     u"semplice nome di file."_s.arg(shownName(updateName)),
                     u"STARTFILE : "_s + updateName};
            return false;
        }
        if (!LinkUtils::DirExists(m_nameUpdateFolder))
            LinkUtils::CreateDir(m_nameUpdateFolder);
        m_currentUpdateFile = LinkUtils::AddBS(m_nameUpdateFolder) + updateName;
        QFile::remove(m_currentUpdateFile);
        m_download.setFileName(m_currentUpdateFile);
    } else {
        const qint16 killed = LinkUtils::KillFile(m_nameTempFile);
        if (killed == 0) {
            m_pendingDeletions.add(m_nameTempFile);
            const QString next = LinkUtils::JoinPath(u"TMPFAX.TIF"_s, m_tempDir);
            if (next.isEmpty()) {
                m_downloadRefused = true;
                error = makeError(75, u"STARTFILE : "_s + m_nameTempFile);
                return false;
            }
            m_nameTempFile = next;
        }
        m_download.setFileName(m_nameTempFile);
    }
    errno = 0;
    if (!m_download.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_downloadRefused = true;
        error = {75, WriteFailure::sentence(m_download.fileName(), WriteFailure::errorOf(m_download, errno)),
                 u"STARTFILE : "_s + m_download.fileName()}; // path/file access error
        return false;
    }
    return true;
}

bool QuorinSock::filePiece(const QByteArray &data, bool update, ParseError &error)
{
    if (m_downloadRefused)
        return true; // already reported at its start
    if (data.isEmpty())
        return true;
    if (!m_download.isOpen()) {
        // No download in hand (ended, or never started): the piece is reported, and a file finished
        // earlier is left as it is.
        error = makeError(52, update ? u"FILEUPD"_s : u"FILE"_s); // bad file name or number
        return false;
    }
    if (m_receivedSize + data.size() > m_expectedSize) {
        // Past its announced size (itself bounded): the download stops here.
        stopDownload();
        error = {ErrorCode::OutOfRange,
                 u"Il server invia pi\u00F9 dei %1 byte annunciati: scaricamento interrotto, file rimosso."_s.arg(
                     m_expectedSize),
                 update ? u"FILEUPD"_s : u"FILE"_s};
        return false;
    }
    errno = 0;
    if (m_download.write(data) != data.size() || !m_download.flush()) {
        // A file with a hole must not pass as received: it stops like one sent past its size.
        const QString why = WriteFailure::sentence(m_download.fileName(), WriteFailure::errorOf(m_download, errno),
                                                   m_expectedSize - m_receivedSize);
        stopDownload();
        error = {52, why, update ? u"FILEUPD"_s : u"FILE"_s};
        return false;
    }
    m_receivedSize += data.size();
    if (update)
        m_updateReceived += data.size();
    return true;
}

bool QuorinSock::endFile(const QByteArray &data, ParseError &error)
{
    const bool wasOpen = m_download.isOpen();
    closeDownload();
    const QList<QByteArrayView> f = Proto::splitView(data, Proto::FieldSeparator);
    const QString updateName = f.size() > 1 ? Proto::text(f[1]) : QString();
    if (m_downloadRefused) {
        // Already reported at its start; a fax image is asked again by the host.
        m_downloadRefused = false;
        if (!m_downloadIsUpdate)
            Q_EMIT RxFaxIncomplete();
        return true;
    }
    // The file in hand decides what ends: an end naming the other kind of file does not complete it.
    const bool update = wasOpen ? m_downloadIsUpdate : !updateName.isEmpty();
    const bool sameKind = update == !updateName.isEmpty();
    if (update) {
        const QFileInfo info(m_currentUpdateFile);
        if (sameKind && wasOpen && info.exists() && info.size() > 0 && m_receivedSize == m_expectedSize &&
            info.size() == m_expectedSize) {
            Q_EMIT ReceivingUpdate(int(m_updateTotal), int(m_updateReceived));
            return true;
        }
        // A short update file must never be installed; with none in hand, a finished one stays.
        if (wasOpen)
            QFile::remove(m_currentUpdateFile);
        const QString name = updateName.isEmpty() ? LinkUtils::GetFileName(m_currentUpdateFile) : updateName;
        error = wasOpen ? shortUpdateError(name, u"ENDFILE : "_s + name)
                        : makeError(ErrorCode::InvalidCall, u"ENDFILE : "_s + name);
        return false;
    }
    const QFileInfo info(m_nameTempFile);
    if (sameKind && wasOpen && info.exists() && info.size() > 0 && m_receivedSize == m_expectedSize &&
        info.size() == m_expectedSize) {
        const QString file = m_nameTempFile;
        Q_EMIT RxFaxOk(file);
        Q_EMIT RxFaxOkKey(file, Proto::text(f.value(2)));
        return true;
    }
    // Short, long or empty: the host asks again.
    discardTempFile();
    Q_EMIT RxFaxIncomplete();
    return true;
}

bool QuorinSock::noFile(const QByteArray &data, ParseError &error)
{
    closeDownload();
    m_downloadRefused = false;
    discardTempFile();
    bool ok = false;
    const int key = Wire::toLong(data, &ok);
    if (!ok) {
        error = makeError(ErrorCode::TypeMismatch, u"NOFILE"_s);
        return false;
    }
    Q_EMIT RxFaxNotFound(key);
    return true;
}
