// The server's shared phone book answer and single contact records.
#include "ContactsItem.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t choice = in.byte();
    const Proto::BookRights rights{bool(choice & 1), bool(choice & 2), bool(choice & 4), bool(choice & 8)};
    int errors = 0;
    const ErrorSink sink = [&errors](const ParseError &) { ++errors; };
    if (choice & 16) {
        std::unique_ptr<ContactsItem> contact = Proto::CreaContactsItem(in.rest(), sink);
        Fuzz::check(contact != nullptr || errors > 0, "a refused contact was not reported");
        if (contact)
            (void)Proto::contactRequestData(*contact);
        return 0;
    }
    std::unique_ptr<collContactsItem> book = Proto::parsePhoneBook(in.rest(), rights, sink);
    Fuzz::check(book != nullptr, "a phone book answer gave no collection");
    Fuzz::check(book->CanRead() == rights.read && book->CanModify() == rights.modify, "rights not copied");
    return 0;
}
