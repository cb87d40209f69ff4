#include "Prompt.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QQueue>
#include <QShowEvent>
#include <QTextBoundaryFinder>
#include <QTranslator>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

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
            QMessageBox::Icon icon = QMessageBox::NoIcon, QMessageBox::StandardButtons buttons = {},
            const QString &detail = {})
{
    state().records.append({kind, icon, title, text, buttons, detail});
}

// A box's text is wrapped at about this many characters; it shows at most kShownLines wrapped lines (the
// detail area, when there is one, adds its own fixed height), so it fits a 1024x768 screen.
constexpr qsizetype kWrapChars = 70;
constexpr qsizetype kShownLines = 22;
constexpr qsizetype kLongestLine = 400;

// A run with nowhere to break (a long document or file name) would stretch a box past the screen and cut
// it off: a break (U+200B, drawn as nothing) goes after every kRunChars characters of such a run.
constexpr qsizetype kRunChars = 20;

QString breakable(const QString &text)
{
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    QString out;
    qsizetype from = 0;
    qsizetype run = 0;
    for (qsizetype at = characters.toNextBoundary(); at > 0; at = characters.toNextBoundary()) {
        out += QStringView(text).sliced(from, at - from);
        from = at;
        lines.setPosition(at);
        if (lines.isAtBoundary()) {
            run = 0;
        } else if (++run == kRunChars) {
            out += QChar(0x200B);
            run = 0;
        }
    }
    return out;
}

qsizetype wrappedLines(QStringView line)
{
    return std::max<qsizetype>(1, (line.size() + kWrapChars - 1) / kWrapChars);
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

QString Prompt::firstItems(const QStringList &items, int count)
{
    if (items.size() <= count)
        return items.join(u'\n');
    return items.first(count).join(u'\n') + u"\n\u2026 e altri %1"_s.arg(items.size() - count);
}

QString Prompt::fittedText(const QString &text, QString *detail)
{
    QStringList lines = text.split(u'\n');
    qsizetype total = 0;
    bool tooLong = false;
    for (const QString &line : std::as_const(lines)) {
        total += wrappedLines(line);
        tooLong = tooLong || line.size() > kLongestLine;
    }
    if (total <= kShownLines && !tooLong)
        return text;
    if (detail)
        *detail = text;
    const auto cut = [](const QString &line) {
        return line.size() > kLongestLine ? line.left(kLongestLine - 1) + u'\u2026' : line;
    };
    // The closing question (the last paragraph, when it is short) always stays.
    QStringList tail;
    qsizetype blank = lines.size() - 1;
    while (blank >= 0 && !lines.at(blank).trimmed().isEmpty())
        --blank;
    if (blank > 0 && blank < lines.size() - 1) {
        const QStringList last = lines.mid(blank + 1);
        qsizetype weight = 0;
        for (const QString &line : last)
            weight += wrappedLines(cut(line));
        if (weight <= 4) {
            tail = last;
            lines = lines.first(blank);
        }
    }
    qsizetype budget = kShownLines - 2;
    for (const QString &line : std::as_const(tail))
        budget -= wrappedLines(cut(line));
    QStringList shown;
    qsizetype used = 0;
    qsizetype at = 0;
    for (; at < lines.size(); ++at) {
        const QString line = cut(lines.at(at));
        if (used + wrappedLines(line) > budget)
            break;
        used += wrappedLines(line);
        shown.append(line);
    }
    qsizetype left = 0;
    for (qsizetype i = at; i < lines.size(); ++i)
        left += lines.at(i).trimmed().isEmpty() ? 0 : 1;
    if (left > 0)
        shown.append(u"\u2026 e altri %1"_s.arg(left));
    if (!tail.isEmpty())
        shown << QString() << tail;
    return shown.join(u'\n');
}

QMessageBox::StandardButton Prompt::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                            const QString &text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton)
{
    return detailed(parent, icon, title, text, {}, buttons, defaultButton);
}

QMessageBox::StandardButton Prompt::detailed(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, const QString &detail,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    const QString caption = titleOr(title);
    QString whole = detail;
    const QString shown = fittedText(text, whole.isEmpty() ? &whole : nullptr);
    if (state().answering) {
        record(Kind::Message, caption, shown, icon, buttons, whole);
        return state().answers.isEmpty() ? defaultAnswer(buttons, defaultButton) : state().answers.dequeue();
    }
    if (icon == QMessageBox::Critical)
        QApplication::beep();
    OwnedOrCentredBox box(icon, caption, breakable(shown), buttons, shownOwner(parent));
    box.setTextFormat(Qt::PlainText); // names from outside (titles, files, server texts) carry no markup
    if (!whole.isEmpty())
        box.setDetailedText(whole);
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
    QInputDialog dialog(parent);
    dialog.setWindowTitle(titleOr(title));
    dialog.setLabelText(label);
    dialog.setTextValue(value);
    for (QLabel *shown : dialog.findChildren<QLabel *>())
        shown->setTextFormat(Qt::PlainText);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (ok)
        *ok = accepted;
    return accepted ? dialog.textValue() : QString();
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
