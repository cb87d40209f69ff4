#pragma once

#include "FaxItem.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// "Proprietà Fax": the details of one fax, read only. The caller sets p_Activelist and p_itemfax and
// shows it modeless; it deletes itself when closed.
class frmPropFax : public QDialog
{
    Q_OBJECT
public:
    explicit frmPropFax(QWidget *parent = nullptr);

    // A copy of the fax: the control replaces its own items at the next answer, while this window stays.
    std::optional<FaxItem> p_itemfax;
    int p_Activelist = 0;

    void cmdOK_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void MostraProprieta(const FaxItem &Fax);

    QLabel *ldlDestName, *lblCompany, *lblDestFax, *lblSentDate, *Label1, *lblSubject, *lblRetries;
    QLineEdit *txtDestname, *txtToCompany, *txtDestFax, *txtSentDate, *txtPagesSent, *txtSubject, *txtRetries;
    QPushButton *cmdOK;
    bool m_loaded = false;
};
