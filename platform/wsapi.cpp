#include "platform/wsapi.h"

namespace plover {

char* winsockEmptyText()
{
    static char empty[1] = {0};
    empty[0] = 0;
    return empty;
}

namespace {

#define PLOVER_WS_STUB(ordinal, name, ret, params, stub) \
    ret stub_##name params { return stub; }
PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_STUB)
#undef PLOVER_WS_STUB

} // namespace

void WinsockFunctions::BindStubs()
{
#define PLOVER_WS_BIND_STUB(ordinal, name, ret, params, stub) name = stub_##name;
    PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_BIND_STUB)
#undef PLOVER_WS_BIND_STUB
}

const int WinsockOrdinals[WinsockFunctionCount] = {
#define PLOVER_WS_ORDINAL(ordinal, name, ret, params, stub) ordinal,
    PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_ORDINAL)
#undef PLOVER_WS_ORDINAL
};

void SetWinsockEntry(WinsockFunctions& table, int index, void* address)
{
    int position = 0;
#define PLOVER_WS_SET(ordinal, name, ret, params, stub)                   \
    if (position++ == index) {                                            \
        table.name = reinterpret_cast<decltype(table.name)>(address);     \
        return;                                                           \
    }
    PLOVER_WINSOCK_FUNCTIONS(PLOVER_WS_SET)
#undef PLOVER_WS_SET
}

} // namespace plover
