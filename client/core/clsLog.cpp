#include "clsLog.h"

#include "ErrorReporting.h"
#include "Prompt.h"
#include "ServerDates.h"
#include "WriteFailure.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <cerrno>
#include <cstdio>

namespace {
constexpr qint16 kFileNumber = 511;
}

clsLog::clsLog() = default;

clsLog::~clsLog()
{
    if (m_file.isOpen())
        m_file.close();
}

QString clsLog::formatLine(const QString &text)
{
    const QDateTime now = QDateTime::currentDateTime();
    return FormatShortDate(now.date()) + u':' + now.time().toString(QStringLiteral("HH:mm:ss")) + u" - " +
           text;
}

bool clsLog::OpenLog()
{
    if (m_file.isOpen()) {
        ReportLogError(u"Log gia aperto " + QString::number(m_fileNumber));
        return false;
    }
    if (m_fileName.isEmpty()) {
        ReportLogError(QStringLiteral("Specificare il nome del File!"));
        return false;
    }
    m_fileNumber = kFileNumber;
    m_file.setFileName(m_fileName);
    const QIODevice::OpenMode mode = m_openMode == 2 ? QIODevice::WriteOnly | QIODevice::Append
                                                     : QIODevice::WriteOnly | QIODevice::Truncate;
    errno = 0;
    if (!m_file.open(mode)) {
        ReportLogError(u"Errore di apertura del file di LOG " + m_fileName + u". " + whyNot(0));
        return false;
    }
    return true;
}

bool clsLog::WriteLine()
{
    if (!m_active) {
        // The switch-on sequence opens the file before the log is active: don't leave it held open,
        // or the next switch-on would find it "already open".
        CloseLog();
        return false;
    }
    if (!m_file.isOpen())
        OpenLog();
    bool ok = false;
    if (m_file.isOpen()) {
        errno = 0;
        if (m_file.write("\r\n\r\n") == 4 && m_file.flush())
            ok = true;
        else
            ReportLogError(u"Errore durante il tentativo di scrittura! " + whyNot(4));
    }
    if (ok)
        CloseLog();
    else
        m_file.close(); // the failure is told once, not again by the close

    return ok;
}

bool clsLog::WriteLog(const QString &text, bool noLineEnd)
{
    if (!m_active)
        return false;
    if (!m_file.isOpen() && !OpenLog())
        return false;
    if (text.isEmpty()) {
        ReportLogError(QStringLiteral("Nessun dato da scrivere sul file!"));
        CloseLog();
        return false;
    }
    QByteArray line = formatLine(text).toUtf8();
    if (!noLineEnd)
        line += "\r\n";
    errno = 0;
    if (m_file.write(line) != line.size() || !m_file.flush()) {
        ReportLogError(u"Errore durante la scrittura del log! " + whyNot(line.size()));
        m_file.close(); // the failure is told once, not again by the close
        return false;
    }
    CloseLog();
    return true;
}

void clsLog::CloseLog()
{
    if (!m_file.isOpen())
        return;
    errno = 0;
    const bool flushed = m_file.flush();
    const QString why = flushed ? QString() : whyNot(0);
    m_file.close();
    if (!flushed)
        ReportLogError(u"Errore nel tentativo di chiusura log. " + why);
}

QString clsLog::Version() const
{
    return QLocale().toString(0.1) + u".1";
}

QString clsLog::whyNot(qint64 needed) const
{
    return WriteFailure::sentence(m_fileName, WriteFailure::errorOf(m_file, errno), needed);
}

void clsLog::ReportLogError(const QString &text)
{
    // A full or lost folder fails every line: the user is told once, later failures go to stderr.
    if (!m_supressErrors && !m_errorShown) {
        m_errorShown = true;
        Prompt::message(nullptr, QMessageBox::Warning, QStringLiteral("Error"), text);
    } else {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(text));
    }
    Err().Description = text;
}

clsLog &AppLog()
{
    static clsLog log;
    return log;
}
