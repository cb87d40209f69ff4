#include "StringTable.h"

namespace {

struct Entry
{
    int id;
    const char16_t *text;
};

// The fax client's texts. Ids that never had a text (1001-1011, 1013, 1023, 1024, 1027, 1034, 1035, 1100,
// 2003, 2008, 2010-2012, 2025-2027, 2065, 2094, ...) stay out: their windows keep the designed text.
constexpr Entry kStrings[] = {
    // menus and captions
    {1000, u"&File"},
    {1012, u"&Esci"},
    {1019, u"&Visualizza"},
    {1020, u"Barra degli &strumenti"},
    {1021, u"&Barra di stato"},
    {1025, u"&Strumenti"},
    {1026, u"&Opzioni..."},
    {1033, u"&?"},
    {1036, u"&Informazioni su "},
    {1058, u"Opzioni"},
    {1063, u"&Applica"},
    {1064, u"Annulla"},
    {1065, u"OK"},
    {1090, u"Credits"},
    {1120, u"Opzioni Modem..."},
    {1121, u"Spedisci Fax..."},
    {1122, u"Configurazione Server..."},
    {1123, u"Regole..."},
    {1125, u"Rubrica"},
    {1126, u"Acquisizione da scanner..."},
    {1130, u"Proprietà"},
    {1131, u"Elimina Fax"},
    {1132, u"Visualizza Fax"},
    {1133, u"Inoltra via E-Mail"},
    {1134, u"Rapporto di trasmissione"},
    {1140, u"Cestino"},
    {1141, u"Proprietà"},
    {1142, u"Elimina Fax"},
    {1143, u"Visualizza Fax"},
    {1144, u"Inoltra agli altri utenti"},
    {1145, u"Segna come da leggere"},
    {1160, u"Visualizza Fax"},
    {1161, u"Proprietà Fax"},
    {1162, u"Segna come da leggere"},
    {1163, u"Elimina Fax"},
    {1164, u"Segna come da stampare"},
    {1168, u"Inoltro via Fax"},
    {1170, u"Cambia utente"},
    {1175, u"Installa Sendora"},
    {1180, u"LiveUpdate"},
    // messages
    {2000, u"Errore nella trasmissione"},
    {2001, u"Pronto"},
    {2002, u"Fax in fase di inizializzazione"},
    {2004, u"Inizio operazione di spedizione"},
    {2005, u"Composizione in corso"},
    {2006, u"Chiamata in corso, attesa risposta."},
    {2007, u"Connesso con il fax remoto"},
    {2009, u"Ricevuta stringa identificazione fax"},
    {2013, u"Negoziazione parametri spedizione"},
    {2014, u"In fase di spedizione"},
    {2015, u"Fine pagina"},
    {2016, u"Porta chiusa"},
    {2017, u"Fax cancellato"},
    {2018, u"Fax completo"},
    {2019, u"Inizializzazione modem per la ricezione"},
    {2020, u"In attesa di chiamata"},
    {2021, u"Chiamata in ingresso"},
    {2022, u"Negoziazione parametri ricezione"},
    {2023, u"Ricezione fax in corso"},
    {2024, u"Fine della ricezione"},
    {2028, u"Svuota Cestino"},
    {2029, u"Elimina Selezione"},
    {2030, u"Ripristina"},
    {2031, u"Elimina Tutti"},
    {2032, u"Proprietà"},
    {2033, u"Ok"},
    {2034, u"no command acknowledgement from modem"},
    {2035, u"unsupported faxmodem"},
    {2036, u"errore di inizializzazione del modem"},
    {2037, u"bad FDIS settings"},
    {2038, u"error setting local id"},
    {2039, u"error dialing"},
    {2040, u"error connecting to remote fax"},
    {2041, u"bad FCSI string"},
    {2042, u"error receiving negotiated FDIS"},
    {2043, u"internal state error"},
    {2044, u"linea occupata"},
    {2045, u"no dialtone"},
    {2046, u"non connesso"},
    {2047, u"cancellato dall'utente"},
    {2048, u"bad or missing FPTS"},
    {2049, u"bad or missing FHNG"},
    {2050, u"FDCS not found"},
    {2051, u"general modem error"},
    {2052, u"invalid fax files"},
    {2053, u"incompatible dll/server releases"},
    {2054, u"chiamata voce/command timeout"},
    {2055, u"no response to EOP command repeated 3 times"},
    {2056, u"no response to MPS command repeated 3 times"},
    {2057, u"unable to train with remote system"},
    {2058, u"error opening/initializing port"},
    {2059, u"nessuna risposta"},
    {2060, u"Invio in corso"},
    {2061, u"errore di formato"},
    {2062, u"file non valido o non trovato"},
    {2063, u"errore generico in spedizione"},
    {2064, u"attesa invio"},
    {2066, u"Attenzione!! Per il corretto funzionamento del programma è consigliabile eseguire un "
           u"aggiornamento del Server!"},
    {2067, u"Attenzione!! Per il corretto funzionamento del programma è consigliabile eseguire un "
           u"aggiornamento. Eseguire l'aggiornamento adesso?"},
    {2068, u"Attenzione!! File QVDozeza.exe non trovato. "},
    {2069, u"Impossibile eseguire LiveUpdate."},
    {2070, u"DownLoad file in corso..."},
    {2071, u"Impossibile effettuare l'aggiornamento. File non trovati."},
    {2072, u"File:"},
    {2073, u"non trovato."},
    {2074, u"Parametro *Nome File XML* non presente."},
    {2075, u"Impossibile continuare."},
    {2076, u"Preparazione invio Fax."},
    {2077, u"Confermi l'eliminazione dei contatti selezionati?"},
    {2078, u"Impossibile eliminare il contatto selezionato!"},
    {2079, u"Non si dispone dei diritti per eliminare i contatti condivisi."},
    {2080, u"Impossibile caricare il contatto!"},
    {2081, u"Non si dispone dei diritti per caricare contatti condivisi."},
    {2082, u"Impossibile modificare il contatto!"},
    {2083, u"Non si dispone dei diritti per modificare i contatti condivisi."},
    {2084, u"Contatto non trovato!"},
    {2085, u"Contiene:"},
    {2086, u"Inizia con:"},
    {2087, u"Ricerca nella colonna:"},
    {2088, u"Visualizza:"},
    {2089, u"Tutti i contatti"},
    {2090, u"Solo i contatti Condivisi"},
    {2091, u"Solo i contatti Personali"},
    {2092, u"Il Fax è stato inoltrato al server per l'invio."},
    {2093, u"Hai ricevuto un nuovo fax!"},
};

QHash<int, QString> &table()
{
    static QHash<int, QString> strings = [] {
        QHash<int, QString> h;
        for (const Entry &e : kStrings)
            h.insert(e.id, QString::fromUtf16(e.text));
        return h;
    }();
    return strings;
}

} // namespace

namespace StringTable {

bool contains(int id)
{
    return table().contains(id);
}

QString text(int id, const QString &fallback)
{
    return table().value(id, fallback);
}

void addStrings(const QHash<int, QString> &strings)
{
    for (auto it = strings.cbegin(); it != strings.cend(); ++it)
        table().insert(it.key(), it.value());
}

} // namespace StringTable

QString LoadResString(int id)
{
    return StringTable::text(id);
}
