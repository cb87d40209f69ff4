#include "FormHelpers.h"

#include "ConfigIni.h"
#include "Prompt.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "WindowPlacement.h"
#include "clsLog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

namespace {

// The id a text holds when it is a whole number; 0 otherwise.
int wholeId(const QString &text)
{
    bool ok = false;
    const int id = text.trimmed().toInt(&ok);
    return ok ? id : 0;
}

// The numeric value of a text's leading digits ("12abc" is 12, "abc" is 0).
int leadingNumber(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype n = 0;
    while (n < t.size() && n < 9 && t.at(n).isDigit())
        ++n;
    return n == 0 ? 0 : t.left(n).toInt();
}

// Calls apply with the table's text when the id has one.
template <typename F> void withString(int id, F apply)
{
    if (id > 0 && StringTable::contains(id))
        apply(StringTable::text(id));
}

QString tagOf(const QObject *object)
{
    return object->property("Tag").toString();
}

void localizeAction(QAction *action)
{
    withString(wholeId(action->text()), [action](const QString &s) { action->setText(s); });
    withString(wholeId(action->toolTip()), [action](const QString &s) { action->setToolTip(s); });
}

void localizeTabs(QTabBar *bar)
{
    for (int i = 0; i < bar->count(); ++i) {
        withString(wholeId(bar->tabData(i).toString()),
                   [bar, i](const QString &s) { bar->setTabText(i, s); });
        withString(wholeId(bar->tabToolTip(i)), [bar, i](const QString &s) { bar->setTabToolTip(i, s); });
    }
}

void localizeWidget(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w)) {
        withString(wholeId(tagOf(w)), [label](const QString &s) { label->setText(s); });
    } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
        localizeTabs(tabs->tabBar());
    } else if (auto *bar = qobject_cast<QTabBar *>(w)) {
        if (!qobject_cast<QTabWidget *>(bar->parentWidget()))
            localizeTabs(bar);
    } else if (auto *toolBar = qobject_cast<QToolBar *>(w)) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *a : actions)
            withString(wholeId(a->toolTip()), [a](const QString &s) { a->setToolTip(s); });
    } else if (auto *list = qobject_cast<QTreeWidget *>(w)) {
        QTreeWidgetItem *header = list->headerItem();
        for (int c = 0; c < list->columnCount(); ++c) {
            withString(wholeId(header->data(c, Qt::UserRole).toString()),
                       [header, c](const QString &s) { header->setText(c, s); });
        }
    } else if (qobject_cast<QMenu *>(w) || qobject_cast<QMenuBar *>(w)) {
        return; // menu entries are done from their actions
    } else {
        withString(leadingNumber(tagOf(w)), [w](const QString &s) {
            if (auto *button = qobject_cast<QAbstractButton *>(w))
                button->setText(s);
            else if (auto *group = qobject_cast<QGroupBox *>(w))
                group->setTitle(s);
        });
        withString(leadingNumber(w->toolTip()), [w](const QString &s) { w->setToolTip(s); });
    }
}

} // namespace

void LocalizeForm(QWidget *form)
{
    if (!form)
        return;
    withString(wholeId(tagOf(form)), [form](const QString &s) { form->setWindowTitle(s); });
    // Font face and size of the program's texts, when its table names them.
    if (StringTable::contains(20) && StringTable::contains(21)) {
        QFont font = form->font();
        font.setFamily(StringTable::text(20));
        if (const int size = leadingNumber(StringTable::text(21)); size > 0)
            font.setPointSize(size);
        form->setFont(font); // children inherit it
    }
    const QList<QWidget *> widgets = form->findChildren<QWidget *>();
    for (QWidget *w : widgets)
        localizeWidget(w);
    // Menu entries hold their id in their caption.
    QList<QAction *> actions = form->actions();
    const QList<QMenu *> menus = form->findChildren<QMenu *>();
    for (QMenu *menu : menus) {
        actions.append(menu->menuAction());
        actions.append(menu->actions());
    }
    const QList<QMenuBar *> bars = form->findChildren<QMenuBar *>();
    for (QMenuBar *bar : bars)
        actions.append(bar->actions());
    QSet<QAction *> done;
    for (QAction *a : std::as_const(actions)) {
        if (a && !a->isSeparator() && !done.contains(a)) {
            done.insert(a);
            localizeAction(a);
        }
    }
}

QString AddBackslash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

int CaptionWidth(const QWidget *window)
{
    QFont font = window->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(window->windowTitle()) * 5 / 4 + 6 * metrics.height();
}

void CenterForm(QWidget *form)
{
    WindowPlacement::centerOnScreen(form);
}

void FitTitle(QWidget *form)
{
    if (!form)
        return;
    // Title bars draw their text bold, next to the icon and up to three buttons of about its height.
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics fm(font);
    const int buttons = 4 * (fm.height() + 10);
    form->setMinimumWidth(std::max(form->minimumWidth(), fm.horizontalAdvance(form->windowTitle()) + buttons + 24));
}

void PlaceFormAtScreenEdge(QWidget *form)
{
    if (!form)
        return;
    WindowPlacement::layOutFirst(form);
    const QRect s = WindowPlacement::screenArea(form);
    const QSize size = form->frameGeometry().size();
    form->move(s.x() + s.width() - size.width(), s.y() + s.height() - size.height());
}

bool IsFormLoaded(const QString &name)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (const QWidget *w : windows) {
        if (w->objectName() == name)
            return true;
    }
    return false;
}

void LoadFilesToSend(QListWidget *lbFiles)
{
    if (!lbFiles)
        return;
    lbFiles->clear();
    const QStringList pieces = ConfigIni.File.split(u'+', Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        if (FileExists(piece))
            lbFiles->addItem(piece);
    }
}

QString QtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QChar(0));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty())
            break;
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        out.append(parts.at(i) + u" (" + patterns + u')');
    }
    return out.join(u";;");
}

QString ShowOpenFileDialog(const QString &filter)
{
    const QString chosen = Prompt::openFileName(QApplication::activeWindow(),
                                                QStringLiteral("Open Image File"), {}, QtFileFilter(filter));
    const qsizetype nul = chosen.indexOf(QChar(0));
    return nul < 0 ? chosen : chosen.left(nul);
}

QLabel *NamedLabel(QWidget *parent, const QString &name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // value labels show names from outside: no markup
    return label;
}

QLineEdit *NamedLineEdit(QWidget *parent, const QString &name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QPushButton *NamedButton(QWidget *parent, const QString &name, const QString &caption, const QString &tip)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

void LogResizeLines(const QWidget *form, const QString &tallLine, const QString &wideLine)
{
    const QSize size = form->frameGeometry().size();
    if (size.height() > qRound(1000 * form->logicalDpiY() / 1440.0))
        AppLog().WriteLog(tallLine);
    if (size.width() > qRound(3500 * form->logicalDpiX() / 1440.0))
        AppLog().WriteLog(wideLine);
}
