#include "Prompt.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLayout>
#include <QLibraryInfo>
#include <QQueue>
#include <QShowEvent>
#include <QTranslator>
#include <QWindow>

namespace {

struct State
{
    bool answering = false;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QStringList> fileNames;
    QQueue<QPair<QString, bool>> texts;
    std::function<int(QDialog *)> dialogHandler;
    QList<Prompt::Record> records;
};

State &state()
{
    static State s;
    return s;
}

QString titleOr(const QString &title)
{
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

void record(Prompt::Kind kind, const QString &title, const QString &text,
            QMessageBox::Icon icon = QMessageBox::NoIcon, QMessageBox::StandardButtons buttons = {})
{
    state().records.append({kind, icon, title, text, buttons});
}

QStringList nextFileNames()
{
    return state().fileNames.isEmpty() ? QStringList() : state().fileNames.dequeue();
}

// The answer a user gives by pressing Enter: the default button, else the first of the usual ones.
QMessageBox::StandardButton defaultAnswer(QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton)
{
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (auto b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Retry, QMessageBox::No, QMessageBox::Cancel}) {
        if (buttons.testFlag(b))
            return b;
    }
    return QMessageBox::NoButton;
}

// A box without an owner on screen is centred on the screen at the size it takes when shown: Qt places
// it before it has laid out its text, and it then shrinks with its corner fixed.
class OwnedOrCentredBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (!parentWidget() && !event->spontaneous())
            WindowPlacement::centerOnScreen(this);
    }
};

} // namespace

QMessageBox::StandardButton Prompt::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                            const QString &text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton)
{
    const QString caption = titleOr(title);
    if (state().answering) {
        record(Kind::Message, caption, text, icon, buttons);
        return state().answers.isEmpty() ? defaultAnswer(buttons, defaultButton) : state().answers.dequeue();
    }
    if (icon == QMessageBox::Critical)
        QApplication::beep();
    OwnedOrCentredBox box(icon, caption, text, buttons, shownOwner(parent));
    fixedWindowHints(&box);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Prompt::information(QWidget *parent, const QString &title, const QString &text)
{
    message(parent, QMessageBox::Information, title, text);
}

void Prompt::warning(QWidget *parent, const QString &title, const QString &text)
{
    message(parent, QMessageBox::Warning, title, text);
}

void Prompt::critical(QWidget *parent, const QString &title, const QString &text)
{
    message(parent, QMessageBox::Critical, title, text);
}

bool Prompt::question(QWidget *parent, const QString &title, const QString &text)
{
    return message(parent, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString Prompt::openFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    if (state().answering) {
        record(Kind::OpenFile, caption, filter);
        return nextFileNames().value(0);
    }
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList Prompt::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter)
{
    if (state().answering) {
        record(Kind::OpenFiles, caption, filter);
        return nextFileNames();
    }
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString Prompt::saveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    if (state().answering) {
        record(Kind::SaveFile, caption, filter);
        return nextFileNames().value(0);
    }
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString Prompt::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (state().answering) {
        record(Kind::Directory, caption, dir);
        return nextFileNames().value(0);
    }
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString Prompt::text(QWidget *parent, const QString &title, const QString &label, const QString &value, bool *ok)
{
    if (state().answering) {
        record(Kind::Text, titleOr(title), label);
        const auto answer = state().texts.isEmpty() ? qMakePair(value, false) : state().texts.dequeue();
        if (ok)
            *ok = answer.second;
        return answer.first;
    }
    return QInputDialog::getText(parent, titleOr(title), label, QLineEdit::Normal, value, ok);
}

int Prompt::exec(QDialog *dialog)
{
    if (state().answering) {
        record(Kind::Dialog, dialog->windowTitle(), dialog->objectName());
        const int result = state().dialogHandler ? state().dialogHandler(dialog) : int(QDialog::Rejected);
        dialog->setResult(result);
        return result;
    }
    const QLayout *layout = dialog->layout();
    if ((layout && layout->sizeConstraint() == QLayout::SetFixedSize) ||
        dialog->minimumSize() == dialog->maximumSize())
        fixedWindowHints(dialog);
    return dialog->exec();
}

void Prompt::fixedWindowHints(QWidget *window)
{
    if (!window)
        return;
    const Qt::WindowType type = window->windowType() == Qt::Window ? Qt::Dialog : window->windowType();
    window->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           (window->windowFlags() & Qt::MSWindowsFixedSizeDialogHint));
}

QWidget *Prompt::shownOwner(QWidget *parent)
{
    if (!parent)
        return nullptr;
    QWidget *top = parent->window();
    if (!top->isVisible() || top->isMinimized())
        return nullptr;
    const QWindow *handle = top->windowHandle();
    return handle && handle->isExposed() ? parent : nullptr;
}

void Prompt::installItalianTranslation()
{
    static QTranslator *translator = nullptr;
    if (translator || !QCoreApplication::instance())
        return;
    translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void Prompt::setAnswering(bool on)
{
    state() = State();
    state().answering = on;
}

bool Prompt::answering()
{
    return state().answering;
}

void Prompt::setNextAnswer(QMessageBox::StandardButton button)
{
    state().answers.enqueue(button);
}

void Prompt::setNextFileName(const QString &fileName)
{
    state().fileNames.enqueue(QStringList{fileName});
}

void Prompt::setNextFileNames(const QStringList &fileNames)
{
    state().fileNames.enqueue(fileNames);
}

void Prompt::setNextText(const QString &text, bool ok)
{
    state().texts.enqueue({text, ok});
}

void Prompt::setDialogHandler(std::function<int(QDialog *)> handler)
{
    state().dialogHandler = std::move(handler);
}

QList<Prompt::Record> Prompt::records()
{
    return state().records;
}

Prompt::Record Prompt::lastRecord()
{
    return state().records.isEmpty() ? Record() : state().records.constLast();
}

void Prompt::clearRecords()
{
    state().records.clear();
}
