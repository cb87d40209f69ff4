#include "PlainToolTip.h"

using namespace Qt::StringLiterals;

QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return {};
    return u"<qt style=\"white-space:pre\">"_s + text.toHtmlEscaped() + u"</qt>"_s;
}
