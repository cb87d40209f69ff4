#pragma once

#include "ImgMenu.h"
#include "Lumagrid.h"
#include "Prompt.h"
#include "TestHome.h"

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

// Small helpers shared by the control's test executables.
namespace ControlTest {

// Settings, data, runtime and temporary folders of the test inside dir; prompts answered.
inline void isolate(TestHome &dir)
{
    QVERIFY(dir.setUp());
    Prompt::setAnswering(true);
}

inline std::unique_ptr<Lumagrid> makeControl(bool thumbs = false)
{
    auto c = std::make_unique<Lumagrid>();
    c->resize(900, 600);
    c->setThumbsVisible(thumbs);
    c->show();
    return c;
}

inline bool press(Lumagrid &c, const QString &key)
{
    QAction *a = c.toolbar()->action(key);
    if (!a)
        return false;
    a->trigger();
    return true;
}

inline int pdfPages(const QString &pdf)
{
    QFile f(pdf);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return int(QString::fromLatin1(f.readAll()).count(page));
}

} // namespace ControlTest
