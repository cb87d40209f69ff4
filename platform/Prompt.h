#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

// The one door for every message box, file dialog and modal window of every program. Box texts are plain
// text (names from outside carry no markup) and are cut to fit the screen, the rest in a detail area.
// Tests switch it to answering mode: nothing is shown, each prompt takes the next queued answer (or its
// default) and is recorded, so a test can check what the user would have been told.
class Prompt
{
public:
    enum class Kind { Message, OpenFile, OpenFiles, SaveFile, Directory, Dialog, Text };

    struct Record
    {
        Kind kind = Kind::Message;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QString detail; // the scrolling area under the text, when there is one
    };

    // Message box; an empty title becomes the application's display name.
    static QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                               const QString &text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // A box whose text grows with the data: `text` names what matters and stays on screen with the
    // buttons; `detail` (the whole list) goes into a scrolling area under it.
    static QMessageBox::StandardButton
    detailed(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
             const QString &detail, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // The first `count` items, one a line, then "… e altri N" for the rest.
    static QString firstItems(const QStringList &items, int count = 10);
    // What a box shows of `text` so that it fits any screen: the first lines, "… e altri N" and the closing
    // question; `detail` receives the whole text when something was left out.
    static QString fittedText(const QString &text, QString *detail);

    static void information(QWidget *parent, const QString &title, const QString &text);
    static void warning(QWidget *parent, const QString &title, const QString &text);
    static void critical(QWidget *parent, const QString &title, const QString &text);
    static bool question(QWidget *parent, const QString &title, const QString &text);

    static QString openFileName(QWidget *parent, const QString &caption, const QString &dir = {},
                                const QString &filter = {});
    static QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir = {},
                                     const QString &filter = {});
    static QString saveFileName(QWidget *parent, const QString &caption, const QString &dir = {},
                                const QString &filter = {});
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir = {});
    static QString text(QWidget *parent, const QString &title, const QString &label, const QString &value,
                        bool *ok);

    // Runs a modal window; in answering mode the dialog handler decides instead (default: Rejected).
    // A window of fixed size gets the hints of fixedWindowHints first.
    static int exec(QDialog *dialog);

    // A window whose size is fixed offers neither minimise nor maximise: title and close button only.
    static void fixedWindowHints(QWidget *window);

    // The window a box or dialog is placed over: the parent's window when it is on screen, else none
    // (the box is then centred on the screen, not over a hidden or not yet mapped window).
    static QWidget *shownOwner(QWidget *parent);

    // Loads Qt's Italian translation once, so standard buttons read "Sì", "No", "Annulla".
    static void installItalianTranslation();

    // --- answering mode (tests) ---
    static void setAnswering(bool on);
    static bool answering();
    static void setNextAnswer(QMessageBox::StandardButton button);
    static void setNextFileName(const QString &fileName);
    static void setNextFileNames(const QStringList &fileNames);
    static void setNextText(const QString &text, bool ok = true);
    static void setDialogHandler(std::function<int(QDialog *)> handler);
    static QList<Record> records();
    static Record lastRecord();
    static void clearRecords();
};
