#include "ParseError.h"

using namespace Qt::StringLiterals;

QString ErrorCode::description(int number)
{
    switch (number) {
    case InvalidCall:
        return u"Chiamata di routine o argomento non validi."_s;
    case Overflow:
        return u"Overflow."_s;
    case FrameTooLarge:
        return u"Memoria esaurita."_s;
    case OutOfRange:
        return u"Indice non compreso nell'intervallo."_s;
    case TypeMismatch:
        return u"Tipo non corrispondente."_s;
    case DuplicateKey:
        return u"Questa chiave è già associata ad un elemento della raccolta."_s;
    default:
        return u"Errore definito dall'applicazione o dall'oggetto."_s;
    }
}

void reportError(const ErrorSink &sink, int number, const QString &source)
{
    if (sink)
        sink(ParseError{number, ErrorCode::description(number), source});
}
