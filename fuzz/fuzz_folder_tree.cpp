// The server's folder tree answer.
#include "FuzzSupport.h"
#include "NodeItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const ErrorSink sink = [](const ParseError &) {};
    std::unique_ptr<collNodeItem> tree = Proto::ChildrenRs(in.all(), sink);
    Fuzz::check(tree != nullptr, "a tree answer gave no collection");
    return 0;
}
