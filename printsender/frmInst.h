#pragma once

#include <QDialog>
#include <QPointer>

class FaxPrinter;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class frmInst2;

// "Installazione Quorin Printer": creates the fax printer and binds it to this program ("Sendora -N").
// An existing printer is left as it is, but the user's watcher is always (re)made. Closing the result page
// ends the wizard (unloaded()).
class frmInst : public QDialog
{
    Q_OBJECT
public:
    explicit frmInst(QWidget *parent = nullptr);
    ~frmInst() override;

    // The command line the printer starts: the program folder's "Sendora" with "-N".
    static QString printerCommandLine();

    void cbNext_Click();
    void cbCancel_Click();
    frmInst2 *resultPage() const { return m_result; }

    QLabel *lblTitolo;
    QPlainTextEdit *txtStato;
    QPushButton *cbNext, *cbCancel;
    FaxPrinter *FmPrinter1;

Q_SIGNALS:
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showResult(const QString &text);
    void fitStatus();

    QPointer<frmInst2> m_result;
    bool m_closed = false;
    bool m_queueExisted = false;
    QString m_ppd;
};

class frmInst2 : public QDialog
{
    Q_OBJECT
public:
    explicit frmInst2(frmInst *first);

    QPointer<frmInst> firstPage;
    QLabel *txtRisultato;
    QPushButton *OKButton;

protected:
    void closeEvent(QCloseEvent *event) override;
};
