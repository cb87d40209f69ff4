#pragma once

#include <QDialog>
#include <QPointer>

class ListItemFrmForward;
class ItemFrmForward;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Inoltra": the groups and users a fax goes to. The caller sets chiave, Gruppi and Utenti (the control's
// forward lists), runs it modally (Prompt::exec), and when ok is true sends ForwardGroupsUsers with the
// same lists, whose items now carry the choice in IsChecked, and the mails to sUsersMails and
// sUsersMails_Attach (";" address ";" address). Recipients that already have the fax are red and cannot
// be ticked. Items change only on OK.
class frmInoltra : public QDialog
{
    Q_OBJECT
public:
    explicit frmInoltra(QWidget *parent = nullptr);

    QString chiave;
    ListItemFrmForward *Gruppi = nullptr;
    ListItemFrmForward *Utenti = nullptr;
    QPointer<QWidget> fMain;
    bool ok = false;
    QString sUsersMails_Attach;
    QString sUsersMails;

    void FirstSelection(QTreeWidget *list);
    // The one place a row's tick changes: a row already forwarded is refused with a message.
    void ToggleRow(QTreeWidget *list, QTreeWidgetItem *row);

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void FillList(QTreeWidget *list, const ListItemFrmForward *items);
    void CollectChoice();
    ItemFrmForward *ItemOfRow(const ListItemFrmForward *items, const QTreeWidgetItem *row) const;
    static void AddMail(QString &list, const QString &address);

    QTreeWidget *list_Groups;
    QTreeWidget *list_Users;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};
