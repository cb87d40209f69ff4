#pragma once

// The preview control of the main window: the image control when it is built, otherwise a plain
// stand-in with the same members, so the window builds and runs while the image control is missing.
#ifdef QUORIN_HAVE_LUMAGRID
#include "Lumagrid.h"
using PreviewControl = Lumagrid;
#else

#include <QColor>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QVariant>

enum WorkingType : int { Editor = 1, Viewer = 2 };

class PreviewControl : public QLabel
{
    Q_OBJECT
public:
    explicit PreviewControl(QWidget *parent = nullptr) : QLabel(parent)
    {
        setAlignment(Qt::AlignCenter);
        setAutoFillBackground(true);
    }
    QString FileName() const { return m_fileName; }
    bool OpenSource(const QString &sFileName, bool = false)
    {
        m_fileName = sFileName;
        clear();
        QPixmap pm;
        if (sFileName.isEmpty() || !QFileInfo(sFileName).isFile() || !pm.load(sFileName))
            return false;
        m_pixmap = pm;
        ScaleImageToFit();
        return true;
    }
    void ScaleImageToFit()
    {
        if (!m_pixmap.isNull())
            setPixmap(m_pixmap.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    int AutoZoomType() const { return m_zoom; }
    void setAutoZoomType(int type) { m_zoom = type; }
    WorkingType WorkType() const { return m_work; }
    void setWorkType(WorkingType type) { m_work = type; }
    bool AskResSaveAs() const { return m_askRes; }
    void setAskResSaveAs(bool ask) { m_askRes = ask; }
    QVariant Pulizia()
    {
        m_pixmap = QPixmap();
        clear();
        return true;
    }
    void Refresh() { update(); }
    QColor BackColor() const { return palette().color(QPalette::Window); }
    void setBackColor(const QColor &colour)
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, colour);
        setPalette(pal);
    }

Q_SIGNALS:
    void AfterPrint();
    void BeforeSave();
    void AfterSave();

private:
    QString m_fileName;
    QPixmap m_pixmap;
    int m_zoom = 1;
    WorkingType m_work = Editor;
    bool m_askRes = false;
};
#endif
