#include "ErrorReporting.h"

#include "Prompt.h"
#include "clsLog.h"

#include <QApplication>
#include <QGuiApplication>

void ErrorInfo::Raise(int number, const QString &source, const QString &description)
{
    Number = number;
    Source = source;
    Description = description;
}

void ErrorInfo::Clear()
{
    *this = ErrorInfo();
}

ErrorInfo &Err()
{
    static ErrorInfo current;
    return current;
}

QString ErrorBoxText(const ErrorInfo &error)
{
    return u"Si è verificato il seguente errore:\r\n\r\n" + error.Description + u"\r\n\r\nNumero: " +
           QString::number(error.Number) + u"\r\nSorgente: " + error.Source;
}

QString ErrorLogLine(const ErrorInfo &error)
{
    return u"Errore Numero: " + QString::number(error.Number) + u" - " + error.Description + u" - " +
           error.Source;
}

namespace {

void restorePointer()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

} // namespace

void ShowErrorMessage()
{
    const ErrorInfo error = Err();
    if (error.Number == 0)
        return;
    restorePointer();
    AppLog().WriteLog(ErrorLogLine(error));
    // Prompt beeps for the critical icon.
    Prompt::message(nullptr, QMessageBox::Critical, {}, ErrorBoxText(error));
}

void ShowErrorMessage(int number, const QString &description, const QString &source)
{
    Err().Raise(number, source, description);
    ShowErrorMessage();
}

bool ShowMailError()
{
    if (Err().Number == 0)
        return false;
    restorePointer();
    if (Err().Number == ErrNumber::MailFailure) {
        Prompt::message(nullptr, QMessageBox::Critical, {},
                        QStringLiteral("Errore di spedizione email.\r\n\r\nRiprovare piu tardi.\r\n\r\n"));
        Err().Clear();
    }
    return false;
}

QMessageBox::StandardButton MsgBoxEx(QWidget *owner, const QString &text, QMessageBox::Icon icon,
                                     QMessageBox::StandardButtons buttons, const QString &title)
{
    Prompt::installItalianTranslation();
    return Prompt::message(owner, icon, title, text, buttons);
}
