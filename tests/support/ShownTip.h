#pragma once

#include <QString>
#include <QTextDocument>

// What a tooltip shows of its text: QToolTip takes what looks like markup for rich text.
inline QString shownTip(const QString &tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument doc;
    doc.setHtml(tip);
    return doc.toPlainText();
}
