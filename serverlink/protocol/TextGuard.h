#pragma once

#include <QString>
#include <QStringView>

#include <initializer_list>
#include <utility>

// What user text may go into a request. Every request that carries text from a person (names, notes,
// folder names, keys typed or kept by a host) passes its fields through one of these before anything
// is written, so no text can cut a frame, shift a field or split a record on the server.
namespace Proto {

// One field of a request: its name as the user knows it, and its text.
struct TextField
{
    QString label;
    QString text;
};

struct TextVerdict
{
    QString problem; // empty: the text can be sent
    QString change;  // not empty: what the best fit will change, for a warning before sending
    QString wire;    // the text as it will be sent
    bool ok() const { return problem.isEmpty(); }
};

// User text: none of the frame, field, record or list separators, and only characters that the
// Windows-1252 code page holds or can fit (see Cp1252::bestFit).
TextVerdict checkUserText(QStringView label, QStringView text);

// Text the link puts between its own separators (keys, lists of keys): none of the frame, record and
// list separators, and none of `separator` (the one its own request joins parts with).
TextVerdict checkPart(QStringView label, QStringView text, QStringView separator);

// The first problem among the fields, or empty.
QString firstProblem(std::initializer_list<TextField> fields);

} // namespace Proto
