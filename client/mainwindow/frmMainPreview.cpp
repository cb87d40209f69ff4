// The preview pane: the image of the selected fax, and what follows the preview's own print and save.
#include "frmMain.h"

#include "PageFit.h"
#include "QuorinSock.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

QString frmMain::keepReceivedImage(const QString &FileName, const QString &key)
{
    // The link writes every image into the same file; the preview works on a copy of its own, so the
    // next download cannot change the file under it.
    const QString dir = GetTempDir();
    if (dir.isEmpty() || !QFileInfo(FileName).isFile())
        return FileName;
    Q_UNUSED(key);
    const QString copy = dir + u"QVPREVIEW"_s + QString::number(++m_imageCounter % 2) + u".TIF"_s;
    QFile::remove(copy);
    if (!QFile::copy(FileName, copy)) {
        AppLog().WriteLog(u"Copia immagine non riuscita: "_s + copy);
        return FileName;
    }
    QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return copy;
}

void frmMain::removeImageCopies()
{
    const QString dir = GetTempDir();
    if (dir.isEmpty())
        return;
    QDir folder(dir);
    for (const QString &name : folder.entryList({u"QVPREVIEW*.TIF"_s, u"QVINOLTRO*.TIF"_s}, QDir::Files))
        folder.remove(name);
}

void frmMain::MostraAnteprima(const QString &FileName, const QString &key)
{
    if (ListFax->topLevelItemCount() > 0) {
        const bool openViewer = bApriFax;
        if (openViewer) {
            // The viewer is modal: it opens once the link's event has returned; the window stays locked.
            bApriFax = false;
            bFaxArrivato = false;
            later([this] { ApriFax(); });
        } else {
            ListFax->setEnabled(true);
            TVNodi->setEnabled(true);
            unsetCursor();
        }
        const QFileInfo info(FileName);
        if (info.isFile() && info.size() >= 1 && key == m_lastAskedKey) {
            AppLog().WriteLog(u"prima open "_s + key + u" LastKeyReq = "_s + m_lastAskedKey);
            if (LumagPreview->OpenSource(FileName)) {
                imageShownWhole();
                AppLog().WriteLog(u"prima ScaleImageToFit "_s + key + u" LastKeyReq = "_s + m_lastAskedKey);
                m_previewFit->restart(); // fitted now and as the pane changes size
                AppLog().WriteLog(u"dopo ScaleImageToFit "_s + key + u" LastKeyReq = "_s + m_lastAskedKey);
                LumagPreview->setWorkType(Viewer);
                AppLog().WriteLog(u"dopo WorkType "_s + key + u" LastKeyReq = "_s + m_lastAskedKey);
            }
        }
        bFaxArrivato = true;
        // An empty file is asked again by the next click.
        if (key == m_imageKey)
            m_imageState = info.isFile() && info.size() >= 1 ? ImageState::Here : ImageState::None;
    } else {
        emptyPreview();
        ListFax->setEnabled(true);
        TVNodi->setEnabled(true);
        unsetCursor();
        bFaxArrivato = false;
    }
}

void frmMain::askImage(const QString &key)
{
    // Noted before the request: a link that must log in again first asks it again once it has.
    m_lastAskedKey = key;
    m_imageKey = key;
    m_imageState = ImageState::Asked;
    m_answers.asked(AnswerQueue::Image, key);
    ClientSock->AskFax(key);
}

QString frmMain::takeImageAnswer(const QString &key)
{
    // Requests before the one it names went unanswered: they are not waited for any more.
    if (!key.isEmpty() && m_answers.takeFor(AnswerQueue::Image, [&key](const QString &k) { return k == key; }))
        return key;
    const auto first = m_answers.takeFirst(AnswerQueue::Image);
    return first ? first->tag : key;
}

void frmMain::imageShownWhole()
{
    // What an incomplete or missing image said of the preview is over.
    LumagPreview->setBackColor(m_previewBack);
    const QString notice = panelText(1);
    if (notice == u"Immagine incompleta : riprovare"_s || notice == u"File mancante"_s)
        setPanelText(1, QString());
}

void frmMain::emptyPreview()
{
    // Pulizia drops the pages; the empty open puts the counter back to "0/0" and hides the thumbnails.
    LumagPreview->Pulizia();
    LumagPreview->OpenSource(QString());
    m_currentFaxFile.clear();
    m_imageState = ImageState::None;
}

void frmMain::LumagPreview_AfterPrint()
{
    PrintedMng();
}

void frmMain::LumagPreview_AfterSave()
{
    bSalvataggioFax = true;
    // The preview saved into its own copy of the image: that copy goes up as the fax's new image.
    if (!m_currentFaxFile.isEmpty() && m_currentFaxFile != ClientSock->NameTempFile())
        ClientSock->SendUpdateFile(m_currentFaxFile, CurrentKey);
    else
        ClientSock->SendUpdateTmpFile(CurrentKey);
}
