#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

// Replaces a window's texts by string-table texts. The id sits, as decimal digits, in:
//  - the window's and any widget's dynamic property "Tag" (window title, label text, button text,
//    group box title);
//  - a menu action's text (and its tooltip), a toolbar action's tooltip;
//  - a QTabWidget/QTabBar tab's data ("Tag") and tooltip;
//  - a QTreeWidget header column's Qt::UserRole data.
// An empty tag, a tag that is not a number or an id the table lacks leaves the designed text; nothing is
// shown.
void LocalizeForm(QWidget *form);

// path followed by "/" unless it already ends in "/".
QString AddBackslash(const QString &path);

// Places the window at the centre of its screen / with its bottom-right corner on the screen's.
void CenterForm(QWidget *form);
// The width a window needs for the window manager to show its whole caption (drawn beside the icon and
// the buttons, often in a larger bold font).
int CaptionWidth(const QWidget *window);
void PlaceFormAtScreenEdge(QWidget *form);
// Gives the window at least the width its title needs in the title bar, beside the frame's buttons.
void FitTitle(QWidget *form);
// The log lines of an image window's resize: tallLine when the window (with its frame) is more than
// 1000 twips high, then wideLine when it is more than 3500 twips wide.
void LogResizeLines(const QWidget *form, const QString &tallLine, const QString &wideLine);

// True when a top-level window with this objectName exists (exact, case-sensitive).
bool IsFormLoaded(const QString &name);

// Fills the send dialog's document list from ConfigIni.File: one entry per "+"-separated path that names
// an existing file; others and empty pieces are dropped. ConfigIni.File is not changed.
void LoadFilesToSend(QListWidget *lbFiles);

// The open-file dialog titled "Open Image File", owned by the active window; filter in the NUL-separated
// form of ConfigIni.FileFilter (description, patterns, ...). The chosen path, or empty when cancelled.
QString ShowOpenFileDialog(const QString &filter);
// The NUL-separated filter as a Qt file-dialog filter ("Image Files (*.bmp *.tif *.dcx);;...").
QString QtFileFilter(const QString &filter);

// Controls carrying the objectName tests find them by.
QLabel *NamedLabel(QWidget *parent, const QString &name, const QString &text = {});
QLineEdit *NamedLineEdit(QWidget *parent, const QString &name);
// Never a default button, so Enter in a text box presses nothing.
QPushButton *NamedButton(QWidget *parent, const QString &name, const QString &caption,
                         const QString &tip = {});
