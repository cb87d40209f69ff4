#include "frmRubCondivisa.h"

#include "ContactsItem.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "StringTable.h"
#include "ThemeIcons.h"
#include "Twips.h"
#include "frmNewContatto.h"

#include <QCollator>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Texts with a built-in default: a failed lookup keeps the default, a found text is trimmed.
QString textWithDefault(int id, const QString &fallback)
{
    return StringTable::contains(id) ? LoadResString(id).trimmed() : fallback;
}

QTreeWidget *reportList(QWidget *parent, const QString &name, const QStringList &headers,
                        const QList<int> &widths)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(headers);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i < widths.size(); ++i)
        list->setColumnWidth(i, twipsX(list, widths[i]));
    return list;
}

} // namespace

frmRubCondivisa::frmRubCondivisa(QuorinSock *clientSock, QWidget *parent)
    : QDialog(parent), m_sock(clientSock)
{
    setObjectName(u"frmRubCondivisa"_s);
    setWindowTitle(u"Rubrica"_s);
    setWindowIcon(ThemeIcons::named(u"x-office-address-book"_s));
    setMinimumSize(twipsX(this, 7500), twipsY(this, 6000));

    LblVisualizza = new QLabel(u"Visualizza:"_s, this);
    LblVisualizza->setObjectName(u"LblVisualizza"_s);
    cboFiltro = new QComboBox(this);
    cboFiltro->setObjectName(u"cboFiltro"_s);

    auto *frame = new QGroupBox(this);
    frame->setObjectName(u"frameContatti"_s);
    LblSearchIn = new QLabel(u"Ricerca in:"_s, frame);
    LblSearchIn->setObjectName(u"LblSearchIn"_s);
    cboSearchType = new QComboBox(frame);
    cboSearchType->setObjectName(u"cboSearchType"_s);
    txtSearch = new QLineEdit(frame);
    txtSearch->setObjectName(u"txtSearch"_s);
    txtSearch->installEventFilter(this);
    lvContatti = reportList(frame, u"lvContatti"_s, {u"Nome"_s, u"Fax"_s, u"Mail"_s, u"Azienda"_s},
                            {3000, 2000, 3500, 2000});
    LVSelezionati = reportList(frame, u"LVSelezionati"_s, {u"Nome"_s, u"Fax"_s, u"Azienda"_s, u"Mail"_s},
                               {3000, 2000, 2000, 3500});
    lblDest = new QLabel(u"Destinatari:"_s, frame);
    lblDest->setObjectName(u"lblDest"_s);
    cmdA = NamedButton(frame, u"cmdA"_s, u"A   --->"_s);
    cmdTogli = NamedButton(frame, u"cmdTogli"_s, u"<---"_s);

    auto *cmdProp = NamedButton(this, u"cmdProp"_s, u"Proprietà"_s);
    auto *cmdNew = NamedButton(this, u"cmdNew"_s, u"Nuovo"_s);
    auto *cmdElim = NamedButton(this, u"cmdElim"_s, u"Elimina"_s);
    CmdOk = NamedButton(this, u"CmdOk"_s, u"Ok"_s);
    CmdCanc = NamedButton(this, u"CmdCanc"_s, u"Annulla"_s);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(LblVisualizza);
    filterRow->addWidget(cboFiltro);
    filterRow->addStretch();
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(cboSearchType);
    searchRow->addWidget(txtSearch, 1);
    // The recipient side (arrows and the chosen list) in one widget: hidden in browse mode, it takes no
    // room and the contact list has the whole width.
    m_pickSide = new QWidget(frame);
    m_pickSide->setObjectName(u"pickSide"_s);
    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(cmdA);
    middle->addWidget(cmdTogli);
    middle->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(lblDest);
    right->addWidget(LVSelezionati);
    auto *side = new QHBoxLayout(m_pickSide);
    side->setContentsMargins(0, 0, 0, 0);
    side->addLayout(middle);
    side->addLayout(right, 1);
    auto *lists = new QHBoxLayout;
    lists->addWidget(lvContatti, 1);
    lists->addWidget(m_pickSide, 1);
    // Filled after the window shows: the boxes grow to their longest entry.
    cboFiltro->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cboSearchType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(LblSearchIn);
    frameLayout->addLayout(searchRow);
    frameLayout->addLayout(lists, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdProp);
    buttons->addWidget(cmdNew);
    buttons->addWidget(cmdElim);
    buttons->addStretch();
    buttons->addWidget(CmdOk);
    buttons->addWidget(CmdCanc);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);

    connect(cmdA, &QPushButton::clicked, this, &frmRubCondivisa::cmdA_Click);
    connect(cmdTogli, &QPushButton::clicked, this, &frmRubCondivisa::cmdTogli_Click);
    connect(cmdElim, &QPushButton::clicked, this, &frmRubCondivisa::cmdElim_Click);
    connect(cmdNew, &QPushButton::clicked, this, &frmRubCondivisa::cmdNew_Click);
    connect(cmdProp, &QPushButton::clicked, this, &frmRubCondivisa::ModificaContatto);
    connect(lvContatti, &QTreeWidget::itemDoubleClicked, this, &frmRubCondivisa::ModificaContatto);
    lvContatti->header()->setSectionsClickable(true); // not so by default when the view does not sort itself
    lvContatti->header()->setSortIndicatorShown(true);
    connect(lvContatti->header(), &QHeaderView::sectionClicked, this, &frmRubCondivisa::SortByColumn);
    connect(cboFiltro, &QComboBox::activated, this, &frmRubCondivisa::ApplyFilter);
    connect(CmdOk, &QPushButton::clicked, this, [this] {
        m_ok = true;
        accept();
    });
    connect(CmdCanc, &QPushButton::clicked, this, [this] {
        m_ok = false;
        reject();
    });

    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(30000);
    connect(m_timeout, &QTimer::timeout, this, &frmRubCondivisa::onBookTimeout);
    if (m_sock) {
        connect(m_sock, &QuorinSock::RxPhoneBook, this, &frmRubCondivisa::onPhoneBook);
        connect(m_sock, &QuorinSock::ServerNotAvailable, this, &frmRubCondivisa::onLinkLost);
        connect(m_sock, &QuorinSock::ConnectionNotAvailable, this, &frmRubCondivisa::onLinkLost);
        connect(m_sock, &QObject::destroyed, this, &frmRubCondivisa::onLinkLost);
    }
    applyLayoutMode();
    askBook();
}

void frmRubCondivisa::setBookTimeout(int ms)
{
    m_timeout->setInterval(ms);
    if (m_waiting)
        m_timeout->start();
}

void frmRubCondivisa::setShowMode(int mode)
{
    m_showMode = mode;
    applyLayoutMode();
}

void frmRubCondivisa::applyLayoutMode()
{
    const bool pick = m_showMode != 1;
    for (QWidget *w :
         {static_cast<QWidget *>(cmdA), static_cast<QWidget *>(cmdTogli), static_cast<QWidget *>(CmdOk),
          static_cast<QWidget *>(LVSelezionati), static_cast<QWidget *>(lblDest)})
        w->setVisible(pick);
    m_pickSide->setVisible(pick);
    CmdCanc->setText(pick ? u"Annulla"_s : u"&Chiudi"_s);
}

void frmRubCondivisa::showEvent(QShowEvent *event)
{
    applyLayoutMode();
    // Browse mode opens wide enough for every column of the contact list, within the screen.
    if (m_showMode == 1 && !event->spontaneous()) {
        int columns = 0;
        for (int c = 0; c < lvContatti->columnCount(); ++c)
            columns += lvContatti->columnWidth(c);
        const int extra = width() - lvContatti->viewport()->width();
        int wanted = columns + std::max(extra, 0) + lvContatti->verticalScrollBar()->sizeHint().width();
        if (const QScreen *s = screen())
            wanted = std::min(wanted, s->availableGeometry().width());
        if (wanted > width())
            resize(wanted, height());
    }
    QDialog::showEvent(event);
}

void frmRubCondivisa::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event); // ok keeps its last value
}

void frmRubCondivisa::askBook()
{
    if (!m_sock) {
        ShowErrorMessage(ErrNumber::InvalidArgument, u"Collegamento al server non disponibile"_s,
                         u"frmRubCondivisa.AskPhoneBook"_s);
        return;
    }
    m_waiting = true;
    ++m_bookAsks;
    m_timeout->start();
    m_sock->AskPhoneBook();
}

void frmRubCondivisa::onPhoneBook(collContactsItem *book)
{
    // The server answers in order: while this window asked again after it, an answer is to an earlier
    // request and the book it holds is not the one waited for.
    if (m_bookAsks > 1) {
        --m_bookAsks;
        return;
    }
    m_bookAsks = 0;
    // The link replaces its book at every answer (also one asked for by another window): the rows follow it.
    m_book = book;
    m_current = nullptr;
    const bool wasWaiting = m_waiting;
    m_waiting = false;
    m_timeout->stop();
    if (!m_everFilled) {
        fillWindow();
    } else if (wasWaiting) {
        fillAll(); // after a new contact: every contact, whatever the filter shows
    } else {
        ApplyFilter(cboFiltro->currentIndex() < 0 ? 0 : cboFiltro->currentIndex());
    }
    Q_EMIT BookFilled();
}

void frmRubCondivisa::onLinkLost()
{
    m_bookAsks = 0; // nothing asked on that link is coming
    if (!m_waiting)
        return;
    m_waiting = false;
    m_timeout->stop();
    Prompt::critical(this, QString(), u"Rubrica non disponibile: collegamento al server interrotto."_s);
}

void frmRubCondivisa::onBookTimeout()
{
    m_bookAsks = 0;
    if (!m_waiting)
        return;
    m_waiting = false;
    Prompt::critical(this, QString(), u"Il server non ha inviato la rubrica. Riprovare più tardi."_s);
}

QString frmRubCondivisa::rowText(const ContactsItem &c)
{
    return QString(c.Surname().trimmed() + u' ' + c.FirstName().trimmed()).trimmed();
}

int frmRubCondivisa::positionOf(const QTreeWidgetItem *row)
{
    return row ? row->data(0, Qt::UserRole).toString().mid(1).toInt() : 0;
}

namespace {

// Rows ordered as people read names: by the locale, letters before case, accents after the base letter.
class CollatedRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override
    {
        static const QCollator collator = [] {
            // The C locale compares code points ("Zeta" before "Ärger"): the program's own language then.
            QLocale locale;
            if (locale.language() == QLocale::C)
                locale = QLocale(QLocale::Italian, QLocale::Italy);
            QCollator c(locale);
            c.setCaseSensitivity(Qt::CaseInsensitive);
            c.setNumericMode(true);
            return c;
        }();
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const int order = collator.compare(text(column), other.text(column));
        return order != 0 ? order < 0 : text(column) < other.text(column);
    }
};

} // namespace

void frmRubCondivisa::AggiungiLVItem(const ContactsItem *item, int position)
{
    if (!item)
        return;
    auto *row =
        new CollatedRow(lvContatti, QStringList{rowText(*item), item->FaxNumber(), item->email(), item->Company()});
    row->setData(0, Qt::UserRole, QString(u"K"_s + QString::number(position)));
}

void frmRubCondivisa::updateCaption(int count)
{
    setWindowTitle(u"RUBRICA [ "_s + QString::number(count) + u" contatti ]"_s);
}

void frmRubCondivisa::selectFirstRow()
{
    lvContatti->clearSelection();
    if (QTreeWidgetItem *first = lvContatti->topLevelItem(0)) {
        lvContatti->setCurrentItem(first);
        first->setSelected(true);
    }
}

void frmRubCondivisa::fillWindow()
{
    m_everFilled = true;
    m_ok = false;
    m_sortColumn = 0;
    m_sortOrder = Qt::AscendingOrder;
    if (m_book) {
        fillAll();
        LblSearchIn->setText(textWithDefault(2087, u"Ricerca in:"_s) + u' ' +
                             lvContatti->headerItem()->text(0));
        LblVisualizza->setText(textWithDefault(2088, u"Visualizza:"_s));
        cboFiltro->clear();
        cboFiltro->addItems({textWithDefault(2089, u"Tutti i Contatti"_s),
                             textWithDefault(2090, u"Solo i Contatti condivisi"_s),
                             textWithDefault(2091, u"Solo i Contatti personali"_s)});
        cboFiltro->setCurrentIndex(0);
        ApplyFilter(0);
    }
    cboSearchType->clear();
    cboSearchType->addItems(
        {textWithDefault(2085, u"Contiene ... "_s), textWithDefault(2086, u"Inizia Con ..."_s)});
    cboSearchType->setCurrentIndex(0);
}

void frmRubCondivisa::fillAll()
{
    lvContatti->clear();
    if (!m_book)
        return;
    for (int p = 1; p <= m_book->Count(); ++p)
        AggiungiLVItem(m_book->Item(p), p);
    lvContatti->sortItems(m_sortColumn, m_sortOrder);
    if (m_book->Count() > 0) {
        selectFirstRow();
        updateCaption(int(m_book->Count()));
    }
}

void frmRubCondivisa::ApplyFilter(int index)
{
    lvContatti->setUpdatesEnabled(false);
    lvContatti->clear();
    int added = 0;
    const int count = m_book ? int(m_book->Count()) : 0;
    for (int p = 1; p <= count; ++p) {
        const ContactsItem *c = m_book->Item(p);
        if (index == 0 || (index == 1 && c->IsPublic()) || (index == 2 && !c->IsPublic())) {
            AggiungiLVItem(c, p);
            ++added;
        }
    }
    lvContatti->sortItems(m_sortColumn, m_sortOrder);
    if (added > 0)
        selectFirstRow();
    if (count > 0)
        updateCaption(added);
    lvContatti->setUpdatesEnabled(true);
}

void frmRubCondivisa::SortByColumn(int column)
{
    if (column == m_sortColumn) {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        m_sortOrder = Qt::AscendingOrder;
        m_sortColumn = column;
    }
    lvContatti->sortItems(m_sortColumn, m_sortOrder);
    lvContatti->header()->setSortIndicator(m_sortColumn, m_sortOrder);
    LblSearchIn->setText(textWithDefault(2087, u"Ricerca in:"_s) + u' ' +
                         lvContatti->headerItem()->text(column));
}

bool frmRubCondivisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtSearch && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Search(txtSearch->text());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmRubCondivisa::Search(const QString &text)
{
    const bool startsWith = cboSearchType->currentIndex() == 1;
    for (int i = 0; i < lvContatti->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = lvContatti->topLevelItem(i);
        const QString value = row->text(m_sortColumn);
        const bool match =
            startsWith ? !text.isEmpty() && value.left(text.size()).compare(text, Qt::CaseInsensitive) == 0
                       : !value.isEmpty() && value.contains(text, Qt::CaseInsensitive);
        if (match) {
            lvContatti->clearSelection();
            lvContatti->setCurrentItem(row);
            row->setSelected(true);
            lvContatti->scrollToItem(row);
            return;
        }
    }
    Prompt::information(this, QString(), LoadResString(2084));
}

void frmRubCondivisa::cmdA_Click()
{
    for (int i = 0; i < lvContatti->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = lvContatti->topLevelItem(i);
        if (!row->isSelected())
            continue;
        const QString key = row->data(0, Qt::UserRole).toString();
        bool present = false;
        for (int j = 0; j < LVSelezionati->topLevelItemCount() && !present; ++j)
            present = LVSelezionati->topLevelItem(j)->data(0, Qt::UserRole).toString() == key;
        if (present)
            continue;
        auto *copy =
            new QTreeWidgetItem(LVSelezionati, {row->text(0), row->text(1), row->text(3), row->text(2)});
        copy->setData(0, Qt::UserRole, key);
    }
}

void frmRubCondivisa::cmdTogli_Click()
{
    int i = 0;
    while (i < LVSelezionati->topLevelItemCount()) {
        if (LVSelezionati->topLevelItem(i)->isSelected())
            delete LVSelezionati->takeTopLevelItem(i);
        else
            ++i;
    }
}

void frmRubCondivisa::renumberAfter(int position)
{
    for (QTreeWidget *list : {lvContatti, LVSelezionati}) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem *row = list->topLevelItem(i);
            const int p = positionOf(row);
            if (p == position && list == LVSelezionati)
                row->setData(0, Qt::UserRole, QString()); // a recipient whose contact is gone
            else if (p > position)
                row->setData(0, Qt::UserRole, QString(u"K"_s + QString::number(p - 1)));
        }
    }
}

void frmRubCondivisa::cmdElim_Click()
{
    Prompt::installItalianTranslation();
    if (Prompt::message(this, QMessageBox::Question, QString(), LoadResString(2077),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!m_sock || !m_book)
        return;
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < lvContatti->topLevelItemCount(); ++i)
        if (lvContatti->topLevelItem(i)->isSelected())
            rows.append(lvContatti->topLevelItem(i));
    for (QTreeWidgetItem *row : rows) {
        const int p = positionOf(row); // read now: earlier deletions renumber the keys
        const int r = m_sock->DeleteContact(p);
        if (r == -99) {
            MsgBoxEx(this, LoadResString(2078) + u"\r\n"_s + LoadResString(2079), QMessageBox::Critical);
        } else if (r == -1) {
            MsgBoxEx(this, LoadResString(2078), QMessageBox::Critical);
        } else if (r == 0) {
            if (m_current == m_book->Item(p))
                m_current = nullptr;
            m_book->Remove(p);
            delete row;
            renumberAfter(p);
        }
    }
}

void frmRubCondivisa::cmdNew_Click()
{
    frmNewContatto dialog(m_sock, this);
    dialog.setNuovo(true);
    dialog.setfrmParent(this);
    dialog.Load();
    Prompt::exec(&dialog);
    if (dialog.OkPressed()) {
        lvContatti->clear();
        askBook();
    }
}

void frmRubCondivisa::ModificaContatto()
{
    QTreeWidgetItem *row = lvContatti->currentItem();
    if (!row || !m_book)
        return;
    const int p = positionOf(row);
    m_current = m_book->Item(p);
    if (!m_current)
        return;
    frmNewContatto dialog(m_sock, this);
    dialog.setItemContact(m_current);
    dialog.setChiaveItem(p);
    dialog.setfrmParent(this);
    dialog.Load();
    Prompt::exec(&dialog);
    if (dialog.OkPressed() && m_current) {
        row->setText(0, rowText(*m_current));
        row->setText(1, m_current->FaxNumber());
        row->setText(2, m_current->email());
        row->setText(3, m_current->Company());
    }
}
