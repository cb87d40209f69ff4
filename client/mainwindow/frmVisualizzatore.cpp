#include "frmVisualizzatore.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "Lumagrid.h"
#include "LumagridPropertyBag.h"
#include "PageFit.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A copy of file in the private temporary folder under a new name; empty on failure.
QString privateCopy(const QString &file, const QString &prefix)
{
    const QString dir = GetTempDir();
    if (dir.isEmpty() || !QFileInfo(file).isFile())
        return {};
    QTemporaryFile target(dir + prefix + u"-XXXXXX."_s + QFileInfo(file).suffix());
    target.setAutoRemove(false);
    if (!target.open())
        return {};
    const QString name = target.fileName();
    QFile source(file);
    bool ok = source.open(QIODevice::ReadOnly);
    while (ok && !source.atEnd()) {
        const QByteArray piece = source.read(1 << 20);
        ok = !piece.isEmpty() && target.write(piece) == piece.size();
    }
    target.close();
    if (!ok) {
        QFile::remove(name);
        return {};
    }
    return name;
}

} // namespace

frmVisualizzatore::frmVisualizzatore(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmVisualizzatore"_s);
    setWindowTitle(u"Visualizzatore"_s);
    setWindowIcon(ProgramIcon());
    setModal(true);

    Lumagrid1 = new Lumagrid(this);
    Lumagrid1->setObjectName(u"Lumagrid1"_s);
    {
        LumagridDefaultsBag stored; // the form's settings of the control
        Lumagrid1->ReadProperties(stored);
    }
    m_fit = new PageFit(Lumagrid1);
    picBottom = new QWidget(this);
    picBottom->setObjectName(u"picBottom"_s);
    cmdElimina = new QPushButton(u"&Elimina"_s, picBottom);
    cmdElimina->setObjectName(u"cmdElimina"_s);
    cmdInoltra = new QPushButton(u"&Inoltra"_s, picBottom);
    cmdInoltra->setObjectName(u"cmdInoltra"_s);
    cmdCancel = new QPushButton(u"Annulla"_s, picBottom);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    auto *strip = new QHBoxLayout(picBottom);
    strip->addWidget(cmdElimina);
    strip->addWidget(cmdInoltra);
    strip->addStretch();
    strip->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(Lumagrid1, 1);
    layout->addWidget(picBottom);

    connect(cmdCancel, &QPushButton::clicked, this, &frmVisualizzatore::cmdCancel_Click);
    connect(cmdElimina, &QPushButton::clicked, this, &frmVisualizzatore::cmdElimina_Click);
    connect(cmdInoltra, &QPushButton::clicked, this, &frmVisualizzatore::cmdInoltra_Click);
    connect(Lumagrid1, &Lumagrid::AfterPrint, this, [this] { Q_EMIT FaxPrinted(m_keyFax); });
    connect(Lumagrid1, &Lumagrid::AfterSave, this, &frmVisualizzatore::Lumagrid1_AfterSave);

    bInoltro = false;
    bElimina = false;
    Lumagrid1->setWorkType(Editor);
    Lumagrid1->setAskResSaveAs(ConfigIni.ChiediRisoluzione);
    // A fax page wants room: most of the screen the window opens on.
    if (const QScreen *screen = this->screen())
        resize(screen->availableGeometry().size() * 0.8);
}

frmVisualizzatore::~frmVisualizzatore()
{
    Lumagrid1->OpenSource(QString()); // let go of the copy before it goes
    if (!m_copy.isEmpty())
        QFile::remove(m_copy);
}

bool frmVisualizzatore::OpenFax(const QString &file)
{
    FileName = file;
    if (!m_copy.isEmpty()) {
        Lumagrid1->OpenSource(QString());
        QFile::remove(m_copy);
    }
    m_copy = privateCopy(file, u"QVVIEW"_s);
    const bool opened = !m_copy.isEmpty() && Lumagrid1->OpenSource(m_copy);
    AppLog().WriteLog(opened ? u"load - dopo opensource"_s : u"errore aprendo file"_s);
    // The page is fitted once the window is laid out, and again as it changes size.
    if (opened)
        m_fit->restart();
    return opened;
}

void frmVisualizzatore::showEvent(QShowEvent *event)
{
    Form_Load();
    QDialog::showEvent(event);
}

void frmVisualizzatore::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    LogResizeLines(this, u"img 11"_s, u"img 12"_s);
}

void frmVisualizzatore::Form_Load()
{
    setWindowTitle(FileName.trimmed().isEmpty() ? u"Visualizzatore Quorin"_s : FileName);
    cmdInoltra->setVisible(bCmdInoltra);
}

void frmVisualizzatore::cmdCancel_Click()
{
    reject();
}

void frmVisualizzatore::cmdElimina_Click()
{
    bElimina = true;
    accept();
}

void frmVisualizzatore::cmdInoltra_Click()
{
    bInoltro = true;
    accept();
}

void frmVisualizzatore::Lumagrid1_AfterSave()
{
    if (!m_sock || m_copy.isEmpty())
        return;
    // The link reads the file while it uploads, maybe after this window has gone and after a second
    // save: it gets a snapshot of its own, removed once the server has the whole image.
    const QString snapshot = privateCopy(m_copy, u"QVUPLOAD"_s);
    if (snapshot.isEmpty()) {
        ShowErrorMessage(ErrNumber::FileNotFound, u"Impossibile preparare l'immagine da inviare al server"_s,
                         u"frmVisualizzatore.Lumagrid1_AfterSave"_s);
        return;
    }
    const QString uploadKey = m_sock->SendUpdateFile(snapshot, m_keyFax);
    if (uploadKey.isEmpty() || uploadKey == u"-1"_s) {
        QFile::remove(snapshot);
        return;
    }
    auto done = std::make_shared<QMetaObject::Connection>();
    *done =
        connect(m_sock, &QuorinSock::SentFax2Server, m_sock, [done, uploadKey, snapshot](const QString &id) {
            if (id != uploadKey)
                return;
            QFile::remove(snapshot);
            QObject::disconnect(*done);
        });
    AppLog().WriteLog(u"Salvataggio fax "_s + m_keyFax);
    Q_EMIT FaxSaved(m_keyFax, uploadKey);
}

ViewerOutcome ShowFaxViewer(QWidget *owner, QuorinSock *sock, const QString &file, const QString &key,
                            bool editable, const std::function<void(const QString &key)> &printed,
                            const std::function<void()> &saved)
{
    ViewerOutcome outcome;
    frmVisualizzatore viewer(owner);
    viewer.setClientSock(sock);
    viewer.setKeyFax(key);
    if (!viewer.OpenFax(file))
        return outcome;
    viewer.bCmdInoltra = editable;
    viewer.fMain = owner;
    if (printed)
        QObject::connect(&viewer, &frmVisualizzatore::FaxPrinted, &viewer, printed);
    if (saved)
        QObject::connect(&viewer, &frmVisualizzatore::FaxSaved, &viewer, [saved] { saved(); });
    Prompt::exec(&viewer);
    outcome.shown = true;
    outcome.bInoltro = editable && viewer.bInoltro;
    outcome.bElimina = viewer.bElimina;
    return outcome;
}
