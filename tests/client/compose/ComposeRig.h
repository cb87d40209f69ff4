#pragma once

// Private folders, settings and a logged-in link for the compose and address-book window tests.
#include "ConfigIni.h"
#include "LinkRig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

inline void resetConfig(const QTemporaryDir &home)
{
    ConfigIni = ConfigIniRecord();
    ConfigIni.IniPath = home.filePath(u"Darezi.ini"_s);
    QFile::remove(ConfigIni.IniPath);
    ConfigIni.Name = u"Ufficio Acquisti"_s;
    ConfigIni.Company = u"Alfa S.r.l."_s;
    ConfigIni.Voice = u"0211"_s;
    ConfigIni.Fax = u"0222"_s;
    ConfigIni.Retries = 3;
    ConfigIni.DelayRetries = 60;
    ConfigIni.Resolution = 1;
    ConfigIni.FieldRubrica = 2;
    Prompt::clearRecords();
}

inline QString writeFile(const QTemporaryDir &home, const QString &name, const QByteArray &bytes)
{
    const QString path = home.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

template <typename T> T *child(QWidget *form, const QString &name)
{
    T *w = form->findChild<T *>(name);
    if (!w)
        qFatal("no child %s", qPrintable(name));
    return w;
}

inline void setText(QWidget *form, const QString &name, const QString &text)
{
    child<QLineEdit>(form, name)->setText(text);
}

inline void click(QWidget *form, const QString &name)
{
    child<QAbstractButton>(form, name)->click();
}

inline QStringList promptTexts()
{
    QStringList texts;
    for (const Prompt::Record &r : Prompt::records())
        texts.append(r.text);
    return texts;
}

// A message box as a person meets it on a 1024x768 screen: the real box (not answering mode), its text and
// detail, whether it and its buttons fit (also with the detail area opened), then the given answer.
struct ShownBox
{
    QString text;
    QString detail;
    QString misfit; // empty when everything fits
};

inline QList<ShownBox> meetRealBoxes(const std::function<void()> &step,
                                     const QList<QMessageBox::StandardButton> &answers)
{
    QList<ShownBox> met;
    Prompt::setAnswering(false);
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("met").toBool())
            return;
        box->setProperty("met", true);
        ShownBox shown{box->text(), box->detailedText(), {}};
        const auto check = [&](const char *when) {
            const QRect frame = box->frameGeometry();
            if (frame.width() > 1024 || frame.height() > 768)
                shown.misfit +=
                    u"%1: box %2x%3; "_s.arg(QLatin1StringView(when)).arg(frame.width()).arg(frame.height());
            for (QAbstractButton *b : box->buttons()) {
                const QRect r(b->mapTo(box, QPoint(0, 0)), b->size());
                if (!box->rect().contains(r) || !b->isVisible())
                    shown.misfit += u"%1: button %2 outside; "_s.arg(QLatin1StringView(when), b->text());
            }
        };
        box->adjustSize();
        check("closed");
        for (QAbstractButton *b : box->buttons()) {
            if (box->buttonRole(b) == QMessageBox::ActionRole) { // the detail area's switch
                b->click();
                box->adjustSize();
                check("detail open");
            }
        }
        met.append(shown);
        const QMessageBox::StandardButton answer = answers.value(met.size() - 1, QMessageBox::No);
        if (QAbstractButton *b = box->button(answer))
            b->click();
        else
            box->reject();
    });
    poll.start();
    step();
    poll.stop();
    Prompt::setAnswering(true);
    return met;
}
