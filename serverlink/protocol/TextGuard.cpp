#include "TextGuard.h"

#include "Cp1252.h"
#include "Protocol.h"

using namespace Qt::StringLiterals;

namespace {

struct Mark
{
    QStringView text;
    QStringView name;
};

// Every separator of the protocol as the user would see it.
const Mark AllMarks[] = {
    {u"<\u00A7>", u"<\u00A7>"},         {u"<\u00A5>", u"<\u00A5>"}, {u"<\u00B6>", u"<\u00B6>"},
    {u"<#>", u"<#>"},                   {u"<\u00CC\u00CC>", u"<\u00CC\u00CC>"},
    {u"<\u00BF>", u"<\u00BF>"},         {u"\u00A6", u"\u00A6"},
};

QString separatorProblem(QStringView label, QStringView mark)
{
    return u"Il campo \u00AB%1\u00BB contiene \u00AB%2\u00BB, che il server usa come separatore: "
           u"toglierlo prima di inviare."_s.arg(label, mark);
}

} // namespace

namespace Proto {

TextVerdict checkUserText(QStringView label, QStringView text)
{
    TextVerdict v;
    const Cp1252::Check c = Cp1252::check(text);
    v.wire = c.wire;
    if (!c.ok()) {
        v.problem = Cp1252::refusalMessage(label, c.refused);
        return v;
    }
    if (c.changed)
        v.change = Cp1252::changeMessage(label, text, c.wire);
    // Checked on what goes out: a fitted letter must not complete a separator either.
    for (const Mark &m : AllMarks) {
        if (QStringView(v.wire).contains(m.text)) {
            v.problem = separatorProblem(label, m.name);
            return v;
        }
    }
    return v;
}

TextVerdict checkPart(QStringView label, QStringView text, QStringView separator)
{
    TextVerdict v;
    const Cp1252::Check c = Cp1252::check(text);
    v.wire = c.wire;
    if (!c.ok()) {
        v.problem = Cp1252::refusalMessage(label, c.refused);
        return v;
    }
    // Keys and lists never hold a record or list separator either: the server's answers split on them.
    const QChar list[1] = {ListSeparatorText};
    for (const QStringView mark :
         {QStringView(TerminatorText), QStringView(QuerySeparatorText), QStringView(AnswerSeparatorText),
          QStringView(RecordSeparatorText), QStringView(FaxFieldSeparatorText), QStringView(list, 1),
          separator}) {
        if (!mark.isEmpty() && QStringView(v.wire).contains(mark)) {
            v.problem = separatorProblem(label, mark);
            return v;
        }
    }
    return v;
}

QString firstProblem(std::initializer_list<TextField> fields)
{
    for (const TextField &f : fields) {
        const TextVerdict v = checkUserText(f.label, f.text);
        if (!v.ok())
            return v.problem;
    }
    return {};
}

} // namespace Proto
