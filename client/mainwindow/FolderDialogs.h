#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The name and shared flag of a folder. The caller sets NameFolder and bShared, runs the dialog modally
// (Prompt::exec), and reads ok and then NameFolder and bShared.
class FolderDialog : public QDialog
{
    Q_OBJECT
public:
    QString NameFolder;
    bool bShared = false;
    bool ok = false;

    void cmdOK_Click();
    void cmdCancel_Click();

    // The first piece of the server's frame syntax in name (a folder name cannot hold one); empty: none.
    static QString forbiddenPiece(const QString &name);
    // The box refusing a name that holds piece.
    static void refuseName(QWidget *parent, const QString &piece);

protected:
    FolderDialog(const QString &objectName, const QString &caption, const QString &label, QWidget *parent);
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();

    QLabel *lblName;
    QLineEdit *txtNameFolder;
    QCheckBox *chkShared;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    bool m_loaded = false;
};

// "Nuova Cartella": the name of a new folder.
class frmNewFolder : public FolderDialog
{
    Q_OBJECT
public:
    explicit frmNewFolder(QWidget *parent = nullptr);
};

// "Proprietà Cartella": name and shared flag of an existing folder.
class frmPropFolder : public FolderDialog
{
    Q_OBJECT
public:
    explicit frmPropFolder(QWidget *parent = nullptr);
};
