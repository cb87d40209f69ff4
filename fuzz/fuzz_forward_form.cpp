// The server's forward form answers: users and groups.
#include "FuzzSupport.h"
#include "ItemFrmForward.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const bool users = in.byte() & 1;
    int errors = 0;
    const ErrorSink sink = [&errors](const ParseError &) { ++errors; };
    std::unique_ptr<ListItemFrmForward> list = Proto::parseFrmForward(in.rest(), users, sink);
    Fuzz::check(list != nullptr || errors > 0, "a refused form was not reported");
    if (list)
        (void)list->checkedIds();
    return 0;
}
