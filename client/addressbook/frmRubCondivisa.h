#pragma once

#include <QDialog>
#include <QPointer>

class collContactsItem;
class ContactsItem;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QuorinSock;

// The shared address book kept on the server. Creating the window asks the link for the book; the window
// fills itself when the book arrives (RxPhoneBook) and never blocks while it waits. Rows are keyed
// "K" + the contact's position in the book; every operation finds its contact by that key.
class frmRubCondivisa : public QDialog
{
    Q_OBJECT
public:
    explicit frmRubCondivisa(QuorinSock *clientSock, QWidget *parent = nullptr);

    bool ok() const { return m_ok; }
    ContactsItem *currContactsItem() const { return m_current; }
    int ShowMode() const { return m_showMode; }
    void setShowMode(int mode);
    void AggiungiLVItem(const ContactsItem *item, int position);

    collContactsItem *CollContatti() const { return m_book; }
    bool waitingForBook() const { return m_waiting; }
    // How long to wait for the book before telling the user it did not come (ms).
    void setBookTimeout(int ms);

    // Operations, also reached through the window's buttons.
    void cmdA_Click();
    void cmdTogli_Click();
    void cmdElim_Click();
    void cmdNew_Click();
    void ModificaContatto();
    void Search(const QString &text);
    void SortByColumn(int column);
    void ApplyFilter(int index);

Q_SIGNALS:
    // The book arrived and the list shows it.
    void BookFilled();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askBook();
    void onPhoneBook(collContactsItem *book);
    void onLinkLost();
    void onBookTimeout();
    void fillWindow();
    void fillAll();
    void applyLayoutMode();
    void updateCaption(int count);
    void selectFirstRow();
    void renumberAfter(int position);
    static int positionOf(const QTreeWidgetItem *row);
    static QString rowText(const ContactsItem &c);

    QPointer<QuorinSock> m_sock;
    collContactsItem *m_book = nullptr;
    ContactsItem *m_current = nullptr;
    bool m_ok = false;
    bool m_waiting = false;
    int m_bookAsks = 0; // books asked and not answered yet
    bool m_everFilled = false;
    int m_showMode = 0;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTimer *m_timeout = nullptr;

    QTreeWidget *lvContatti = nullptr;
    QTreeWidget *LVSelezionati = nullptr;
    QComboBox *cboFiltro = nullptr;
    QComboBox *cboSearchType = nullptr;
    QLineEdit *txtSearch = nullptr;
    QLabel *LblSearchIn = nullptr;
    QLabel *LblVisualizza = nullptr;
    QLabel *lblDest = nullptr;
    QWidget *m_pickSide = nullptr;
    QPushButton *cmdA = nullptr;
    QPushButton *cmdTogli = nullptr;
    QPushButton *CmdOk = nullptr;
    QPushButton *CmdCanc = nullptr;
};
