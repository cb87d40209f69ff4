#pragma once

#include "QuorinSock.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class Lumagrid;
class PageFit;
class QPushButton;

// "Visualizzatore": one received fax full size in Lumagrid1, with Annulla, Elimina and Inoltra.
// The opener sets the public values, OpenFax(file) (which shows a copy of the file of the viewer's
// own, so a later download cannot replace it), runs it modally (Prompt::exec) and then reads bInoltro
// and bElimina. A save in the control uploads the edited image as the image of KeyFax through the
// opener's link; printing asks the opener to mark KeyFax printed.
class frmVisualizzatore : public QDialog
{
    Q_OBJECT
public:
    explicit frmVisualizzatore(QWidget *parent = nullptr);
    ~frmVisualizzatore() override;

    QString FileName; // the file shown, also the caption
    QPointer<QWidget> fMain;
    bool bInoltro = false;
    bool bElimina = false;
    bool bCmdInoltra = false;

    // The link a saved image goes back through and the fax it belongs to, taken when the viewer opens:
    // a list answer while the viewer is open changes the main window's current key, not this one.
    void setClientSock(QuorinSock *sock) { m_sock = sock; }
    QuorinSock *ClientSock() const { return m_sock; }
    void setKeyFax(const QString &key) { m_keyFax = key; }
    QString KeyFax() const { return m_keyFax; }

    // Sets FileName, copies the file into the private temporary folder and opens the copy in
    // Lumagrid1. False (nothing to show) when the file is missing or is no image.
    bool OpenFax(const QString &file);
    QString ShownFile() const { return m_copy; }

    void cmdCancel_Click();
    void cmdElimina_Click();
    void cmdInoltra_Click();

    Lumagrid *Lumagrid1;

Q_SIGNALS:
    // Lumagrid1 printed the fax: the opener marks KeyFax printed (PrintedMng).
    void FaxPrinted(const QString &KeyFax);
    // The saved image was handed to the link (the opener sets bSalvataggioFax); uploadKey is the key
    // of the upload in the link's send queue.
    void FaxSaved(const QString &KeyFax, const QString &uploadKey);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Load();
    void Lumagrid1_AfterSave();

    QWidget *picBottom;
    QPushButton *cmdElimina;
    QPushButton *cmdInoltra;
    QPushButton *cmdCancel;
    QPointer<QuorinSock> m_sock;
    QString m_keyFax;
    QString m_copy;
    PageFit *m_fit;
};

// What the main window's ApriFax does with the viewer once the image is at hand: a new viewer on a copy
// of file, for the fax key, Inoltra offered when editable (not the trash), shown modally through
// Prompt::exec; printed(key) and saved() reach the opener while it is open. Call it from a user action
// or after a link event has returned, never inside one.
struct ViewerOutcome
{
    bool shown = false; // false: the image did not open ("errore aprendo file" in the log)
    bool bInoltro = false;
    bool bElimina = false;
};
ViewerOutcome ShowFaxViewer(QWidget *owner, QuorinSock *sock, const QString &file, const QString &key,
                            bool editable, const std::function<void(const QString &key)> &printed = {},
                            const std::function<void()> &saved = {});
