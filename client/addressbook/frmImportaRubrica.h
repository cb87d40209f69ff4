#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QStackedLayout;
class QTreeWidget;
class QuorinSock;

// Import of a mail program's address-book export into the shared book on the server: one
// SendNewContact per checked row.
class frmImportaRubrica : public QDialog
{
    Q_OBJECT
public:
    explicit frmImportaRubrica(QuorinSock *clientSock, QWidget *parent = nullptr);

    // Operations, also reached through the window's buttons.
    void cmdAskPercorso_Click();
    void cmdImporta_Click();
    void cmdOk_Click();
    void FirstSelection(QTreeWidget *list);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QuorinSock> m_sock;
    QComboBox *cboPostaElettronica;
    QLineEdit *txtPercorso;
    QCheckBox *chkCondiviso;
    QGroupBox *Frame1;
    QGroupBox *frmContatti;
    QTreeWidget *list_Contatti;
    QStackedLayout *m_stack;
};
