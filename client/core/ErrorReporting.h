#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The current error of the program (number, description, source): what an error trap reports.
struct ErrorInfo
{
    int Number = 0;
    QString Description;
    QString Source;

    void Raise(int number, const QString &source, const QString &description);
    void Clear();
};

ErrorInfo &Err();

// Error numbers the code raises.
namespace ErrNumber {
inline constexpr int InvalidArgument = 5;
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int FileNotFound = 53;
inline constexpr int MailFailure = 32002;
} // namespace ErrNumber

// Reports the current error: nothing when its number is 0; otherwise default pointer, the log line
// "Errore Numero: <n> - <description> - <source>", a beep and the critical box
// "Si è verificato il seguente errore:\r\n\r\n<description>\r\n\r\nNumero: <n>\r\nSorgente: <source>"
// titled with the program title. The error is not cleared.
void ShowErrorMessage();
// Sets the current error, then reports it.
void ShowErrorMessage(int number, const QString &description, const QString &source);

// The two texts ShowErrorMessage uses.
QString ErrorBoxText(const ErrorInfo &error);
QString ErrorLogLine(const ErrorInfo &error);

// Mail hand-over failure: for error 32002 a box "Errore di spedizione email. Riprovare piu tardi." and the
// error is cleared; other errors show nothing and stay. Always false.
bool ShowMailError();

// Message box in Italian (language 1040): standard buttons read "Sì", "No", "Annulla".
// An empty title is the program title.
QMessageBox::StandardButton MsgBoxEx(QWidget *owner, const QString &text,
                                     QMessageBox::Icon icon = QMessageBox::NoIcon,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                     const QString &title = {});
