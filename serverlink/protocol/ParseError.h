#pragma once

#include <QString>

#include <functional>

// An error met while reading server data. The control raises it through its Error event
// (number, description, source), or shows it in the library's error box where the caller says so.
struct ParseError
{
    int number = 0;
    QString description;
    QString source;
};

using ErrorSink = std::function<void(const ParseError &)>;

// Error numbers and texts as the Italian runtime gives them.
namespace ErrorCode {
inline constexpr int InvalidCall = 5; // "Chiamata di routine o argomento non validi."
inline constexpr int Overflow = 6;
inline constexpr int OutOfRange = 9;    // too few fields
inline constexpr int TypeMismatch = 13; // a number or date that does not convert
inline constexpr int FrameTooLarge = 7; // "Memoria esaurita": a frame beyond the cutter's limit
inline constexpr int DuplicateKey = 457;

QString description(int number);
} // namespace ErrorCode

// Builds the error and hands it to the sink (when there is one).
void reportError(const ErrorSink &sink, int number, const QString &source);
