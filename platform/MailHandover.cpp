#include "MailHandover.h"

#include "AppPaths.h"
#include "Prompt.h"
#include "WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

const QString Program = u"xdg-email"_s;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QString plainAddress(const QString &address)
{
    QString a = address.trimmed();
    if (a.startsWith(u"SMTP:"_s, Qt::CaseInsensitive))
        a = a.mid(5).trimmed();
    return a;
}

} // namespace

bool MailHandover::SignOn(QString *error)
{
    if (QStandardPaths::findExecutable(Program).isEmpty()) {
        m_sessionId = 0;
        setError(error, u"Programma di posta non disponibile (xdg-email non trovato)"_s);
        return false;
    }
    m_sessionId = 1;
    return true;
}

QStringList MailHandover::arguments(const Message &message, const QString &attachmentCopy)
{
    // Every value travels as the argument of an option, so an address or a subject that starts with "-"
    // is never taken for an option; xdg-email refuses empty values, so those are left out.
    QStringList args{u"--utf8"_s};
    if (!message.subject.isEmpty())
        args << u"--subject"_s << message.subject;
    if (!message.body.isEmpty())
        args << u"--body"_s << message.body;
    if (!attachmentCopy.isEmpty())
        args << u"--attach"_s << attachmentCopy;
    for (const Recipient &r : message.recipients) {
        const QString address = plainAddress(r.address);
        if (isPlainAddress(address))
            args << u"--to"_s << address;
    }
    return args;
}

bool MailHandover::isPlainAddress(const QString &address)
{
    if (address.isEmpty())
        return false;
    for (const QChar c : address) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            QStringView(u"\"',;<>`").contains(c))
            return false;
    }
    return true;
}

QStringList MailHandover::refusedAddresses(const Message &message)
{
    QStringList refused;
    for (const Recipient &r : message.recipients) {
        const QString address = plainAddress(r.address);
        if (!address.isEmpty() && !isPlainAddress(address))
            refused << address;
    }
    return refused;
}

QString MailHandover::copyAttachment(const QString &file, QString *error)
{
    const QFileInfo source(file);
    if (!source.isFile()) {
        setError(error, u"Il file "_s + file + u" non esiste"_s);
        return {};
    }
    const QString temp = AppPaths::tempDir();
    if (temp.isEmpty()) {
        setError(error, u"Cartella temporanea non disponibile"_s);
        return {};
    }
    errno = 0;
    QTemporaryDir folder(temp + u"mail-XXXXXX"_s);
    if (!folder.isValid()) {
        const int err = errno;
        setError(error, u"Impossibile creare la cartella per l'allegato: "_s + WriteFailure::reason(temp + u"mail"_s, err) + u'.');
        return {};
    }
    // The mail client reads the file after we return: the copy stays.
    folder.setAutoRemove(false);
    const QString copy = folder.filePath(source.fileName());
    QString why;
    if (!WriteFailure::copy(source.absoluteFilePath(), copy, &why)) {
        setError(error, u"Impossibile copiare l'allegato "_s + file + u". "_s + why);
        QDir(folder.path()).removeRecursively();
        return {};
    }
    return copy;
}

bool MailHandover::Send(const Message &message, QString *error)
{
    if (m_sessionId == 0) {
        setError(error, u"Sessione di posta non aperta"_s);
        return false;
    }
    const QStringList refused = refusedAddresses(message);
    if (!refused.isEmpty()) {
        QString names;
        for (const QString &a : refused) // one a line, after a first line without markup: shown as text
            names += u"\n"_s + a;
        const QString text = u"Indirizzi di posta non validi, lasciati fuori:"_s + names;
        Prompt::message(nullptr, QMessageBox::Warning, {}, text);
        if (refused.size() == message.recipients.size()) {
            setError(error, text); // nobody left to write to
            return false;
        }
    }
    QString copy;
    if (!message.attachment.isEmpty()) {
        copy = copyAttachment(message.attachment, error);
        if (copy.isEmpty())
            return false;
    }
    const QString program = QStandardPaths::findExecutable(Program);
    if (program.isEmpty() || !QProcess::startDetached(program, arguments(message, copy))) {
        setError(error, u"Impossibile avviare il programma di posta"_s);
        if (!copy.isEmpty())
            QDir(QFileInfo(copy).absolutePath()).removeRecursively();
        return false;
    }
    return true;
}
