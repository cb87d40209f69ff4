#include "ProfileFile.h"

#include "Cp1252.h"
#include "WriteFailure.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace {

// One line of the file as it stands on disk: content bytes and the line end that followed them.
struct Line
{
    QByteArray content;
    QByteArray end;
};

struct Parsed
{
    QList<Line> lines;
    bool bom = false;
};

// Reads the file into lines; missing file gives no lines. False when it exists but cannot be read.
// Why the last write of this thread failed.
thread_local QString lastFailure;

bool load(const QString &path, Parsed &out)
{
    const QFileInfo info(path); // follows links: a link to a missing file reads as a missing file
    if (!info.exists())
        return true;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    if (data.startsWith("\xEF\xBB\xBF")) {
        out.bom = true;
        data.remove(0, 3);
    }
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype nl = data.indexOf('\n', pos);
        Line line;
        if (nl < 0) {
            line.content = data.mid(pos);
            pos = data.size();
        } else {
            qsizetype stop = nl;
            if (stop > pos && data.at(stop - 1) == '\r')
                --stop;
            line.content = data.mid(pos, stop - pos);
            line.end = data.mid(stop, nl + 1 - stop);
            pos = nl + 1;
        }
        out.lines.append(line);
    }
    return true;
}

QString decode(const QByteArray &bytes)
{
    return Cp1252::fromUtf8OrCp1252(bytes);
}

// Section name when the line is a section header.
bool sectionName(const QByteArray &content, QString &name)
{
    const QByteArray t = content.trimmed();
    if (!t.startsWith('['))
        return false;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return false;
    name = decode(t.mid(1, close - 1)).trimmed();
    return true;
}

// Key and value when the line is a key line (comments start with ';' or '#').
bool keyValue(const QByteArray &content, QString *key, QByteArray *rawValue = nullptr)
{
    const QByteArray t = content.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || t.startsWith('['))
        return false;
    const qsizetype eq = content.indexOf('=');
    if (eq < 0)
        return false;
    if (key)
        *key = decode(content.left(eq)).trimmed();
    if (rawValue)
        *rawValue = content.mid(eq + 1);
    return true;
}

bool same(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the first header of section, -1 when missing.
qsizetype findSection(const Parsed &p, const QString &section)
{
    QString name;
    for (qsizetype i = 0; i < p.lines.size(); ++i) {
        if (sectionName(p.lines.at(i).content, name) && same(name, section))
            return i;
    }
    return -1;
}

// Index of the line after the section's last line (the next header or the end of the file).
qsizetype sectionEnd(const Parsed &p, qsizetype header)
{
    QString name;
    qsizetype i = header + 1;
    while (i < p.lines.size() && !sectionName(p.lines.at(i).content, name))
        ++i;
    return i;
}

qsizetype findKey(const Parsed &p, qsizetype header, const QString &key)
{
    const qsizetype end = sectionEnd(p, header);
    QString name;
    for (qsizetype i = header + 1; i < end; ++i) {
        if (keyValue(p.lines.at(i).content, &name) && same(name, key))
            return i;
    }
    return -1;
}

bool lookup(const QString &path, const QString &section, const QString &key, QString *value)
{
    Parsed p;
    if (!load(path, p))
        return false;
    const qsizetype header = findSection(p, section);
    if (header < 0)
        return false;
    const qsizetype i = findKey(p, header, key);
    if (i < 0)
        return false;
    if (value) {
        QByteArray raw;
        keyValue(p.lines.at(i).content, nullptr, &raw);
        *value = decode(raw).trimmed();
        // As Windows reads it: one pair of matching quotes around the value is dropped.
        if (value->size() >= 2 && (value->front() == u'"' || value->front() == u'\'') &&
            value->back() == value->front())
            *value = value->mid(1, value->size() - 2);
    }
    return true;
}

QByteArray lineEnd(const Parsed &p)
{
    for (const Line &l : p.lines) {
        if (!l.end.isEmpty())
            return l.end;
    }
    return QByteArrayLiteral("\n");
}

bool save(const QString &where, const Parsed &p)
{
    // Write through a link to the file it names, so an administrator's link stays in place.
    const QFileInfo info(where);
    const QString path = info.isSymLink() ? info.symLinkTarget() : where;
    QByteArray data;
    if (p.bom)
        data += "\xEF\xBB\xBF";
    for (const Line &l : p.lines)
        data += l.content + l.end;
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The folder may be closed to new files while the file itself is writable: write in place then.
    return WriteFailure::save(path, data, &lastFailure, true);
}

// The three programs write the same file: one read-modify-write at a time. A writer waits for the lock
// (up to LockWaitMs, trying often so that busy writers cannot starve it) and, failing that, writes
// nothing. A lock whose holder has died is taken over; a living holder is never overruled. Where no lock
// file can be made at all (a folder closed to new files, a read-only or full disk) no writer can hold one,
// so the write goes on and says why it failed.
constexpr int LockWaitMs = 5000;

class Lock
{
public:
    explicit Lock(const QString &path) : m_lock(path + u".lock")
    {
        m_lock.setStaleLockTime(0); // stale only when the holder is gone, never by age
        const QDeadlineTimer deadline(LockWaitMs);
        for (;;) {
            if (m_lock.tryLock(0)) {
                m_usable = true;
                return;
            }
            if (m_lock.error() != QLockFile::LockFailedError) {
                m_usable = true;
                return;
            }
            if (deadline.hasExpired())
                break;
            QThread::msleep(1 + QRandomGenerator::global()->bounded(8));
        }
        qWarning("%s: the file is locked by another writer; nothing written",
                 qPrintable(QDir::toNativeSeparators(path)));
        lastFailure = u"il file è bloccato da un altro programma (riprovare tra qualche istante)"_s;
    }
    // False when the lock could not be had: the caller writes nothing.
    bool usable() const { return m_usable; }

private:
    QLockFile m_lock;
    bool m_usable = false;
};

} // namespace

namespace ProfileFile {

QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QString value;
    return lookup(path, section, key, &value) ? value : defaultValue;
}

int readInt(const QString &path, const QString &section, const QString &key, int defaultValue)
{
    QString value;
    if (!lookup(path, section, key, &value) || value.isEmpty())
        return defaultValue;
    qsizetype i = 0;
    bool negative = false;
    if (value.at(0) == u'-' || value.at(0) == u'+') {
        negative = value.at(0) == u'-';
        ++i;
    }
    qint64 n = 0;
    for (; i < value.size() && value.at(i) >= u'0' && value.at(i) <= u'9'; ++i) {
        n = n * 10 + (value.at(i).unicode() - u'0');
        if (n > qint64(INT_MAX) + 1)
            break;
    }
    n = negative ? -n : n;
    return int(std::clamp<qint64>(n, INT_MIN, INT_MAX));
}

bool hasKey(const QString &path, const QString &section, const QString &key)
{
    return lookup(path, section, key, nullptr);
}

bool writeString(const QString &path, const QString &section, const QString &key, const QString &value)
{
    lastFailure.clear();
    Lock lock(path);
    Parsed p;
    if (!lock.usable())
        return false;
    if (!load(path, p)) {
        lastFailure = u"il file non si può leggere"_s;
        return false;
    }
    const QByteArray eol = lineEnd(p);
    const QByteArray bytesValue = value.toUtf8();
    // A value may not break the line structure of the file.
    if (bytesValue.contains('\n') || bytesValue.contains('\r') || key.contains(u'=') ||
        key.trimmed().isEmpty()) {
        lastFailure = u"il valore non può andare a capo e la chiave non può essere vuota né contenere «=»"_s;
        return false;
    }

    const qsizetype header = findSection(p, section);
    if (header < 0) {
        if (!p.lines.isEmpty() && p.lines.constLast().end.isEmpty())
            p.lines.last().end = eol;
        p.lines.append({'[' + section.toUtf8() + ']', eol});
        p.lines.append({key.toUtf8() + '=' + bytesValue, eol});
        return save(path, p);
    }
    const qsizetype at = findKey(p, header, key);
    if (at >= 0) {
        Line &line = p.lines[at];
        const qsizetype eq = line.content.indexOf('=');
        line.content = line.content.left(eq + 1) + bytesValue;
        return save(path, p);
    }
    // After the section's last non-blank line, so blank lines between sections stay where they are.
    qsizetype insertAt = sectionEnd(p, header);
    while (insertAt - 1 > header && p.lines.at(insertAt - 1).content.trimmed().isEmpty())
        --insertAt;
    if (p.lines.at(insertAt - 1).end.isEmpty())
        p.lines[insertAt - 1].end = eol;
    p.lines.insert(insertAt, {key.toUtf8() + '=' + bytesValue, eol});
    return save(path, p);
}

QString lastWriteFailure()
{
    return lastFailure;
}

bool lockedByOther(const QString &path)
{
    QLockFile lock(path + u".lock");
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

bool removeKey(const QString &path, const QString &section, const QString &key)
{
    lastFailure.clear();
    Lock lock(path);
    Parsed p;
    if (!lock.usable())
        return false;
    if (!load(path, p)) {
        lastFailure = u"il file non si può leggere"_s;
        return false;
    }
    const qsizetype header = findSection(p, section);
    if (header < 0 || findKey(p, header, key) < 0)
        return true;
    // Every line of the key goes: a second one left behind would read as the key's value.
    for (qsizetype at; (at = findKey(p, header, key)) >= 0;)
        p.lines.removeAt(at);
    return save(path, p);
}

} // namespace ProfileFile
