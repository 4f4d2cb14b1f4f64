// Host, service and protocol look-ups of the socket binding. The blocking
// forms answer from per-thread storage, as Windows does; the asynchronous
// forms run on a worker thread, lay the entry out in the caller's buffer and
// post the result message to the caller's window.
#include "platform/wsbinding.h"
#include "platform/wsinternal.h"

#include <QThreadPool>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace plover::wsimpl {

namespace {

struct HostResult {
    int error = 0;
    std::string name;
    std::vector<in_addr> addresses;
};

struct ServResult {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    int port = 0; // network byte order
    std::string proto;
};

struct ProtoResult {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    int number = 0;
};

int lookupError(int eai)
{
    switch (eai) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return WinsockErrorFromErrno(errno);
    default: return WSANO_RECOVERY;
    }
}

HostResult resolveName(const std::string& name)
{
    HostResult r;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    const int rc = name.empty() ? EAI_NONAME : ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        r.error = lookupError(rc);
        return r;
    }
    r.name = list->ai_canonname ? list->ai_canonname : name;
    for (addrinfo* a = list; a; a = a->ai_next)
        if (a->ai_family == AF_INET)
            r.addresses.push_back(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
    ::freeaddrinfo(list);
    if (r.addresses.empty())
        r.error = WSANO_DATA;
    return r;
}

HostResult resolveAddress(const std::string& addr, int type)
{
    HostResult r;
    if (type != AF_INET || addr.size() != 4) {
        r.error = WSAEAFNOSUPPORT;
        return r;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, addr.data(), 4);
    char host[NI_MAXHOST];
    const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        r.error = lookupError(rc);
        return r;
    }
    r.name = host;
    r.addresses.push_back(sa.sin_addr);
    return r;
}

std::vector<std::string> aliasList(char** aliases)
{
    std::vector<std::string> out;
    for (char** a = aliases; a && *a; ++a)
        out.emplace_back(*a);
    return out;
}

ServResult serviceResult(servent* found)
{
    ServResult r;
    if (!found) {
        r.error = WSANO_DATA;
        return r;
    }
    r.name = found->s_name;
    r.aliases = aliasList(found->s_aliases);
    r.port = found->s_port;
    r.proto = found->s_proto ? found->s_proto : "";
    return r;
}

ServResult serviceByName(const std::string& name, const std::string& proto, bool anyProto)
{
    servent entry{};
    servent* found = nullptr;
    char buffer[4096];
    ::getservbyname_r(name.c_str(), anyProto ? nullptr : proto.c_str(), &entry, buffer, sizeof buffer, &found);
    return serviceResult(found);
}

ServResult serviceByPort(int port, const std::string& proto, bool anyProto)
{
    servent entry{};
    servent* found = nullptr;
    char buffer[4096];
    ::getservbyport_r(port, anyProto ? nullptr : proto.c_str(), &entry, buffer, sizeof buffer, &found);
    return serviceResult(found);
}

ProtoResult protocolResult(protoent* found)
{
    ProtoResult r;
    if (!found) {
        r.error = WSANO_DATA;
        return r;
    }
    r.name = found->p_name;
    r.aliases = aliasList(found->p_aliases);
    r.number = found->p_proto;
    return r;
}

ProtoResult protocolByName(const std::string& name)
{
    protoent entry{};
    protoent* found = nullptr;
    char buffer[4096];
    ::getprotobyname_r(name.c_str(), &entry, buffer, sizeof buffer, &found);
    return protocolResult(found);
}

ProtoResult protocolByNumber(int number)
{
    protoent entry{};
    protoent* found = nullptr;
    char buffer[4096];
    ::getprotobynumber_r(number, &entry, buffer, sizeof buffer, &found);
    return protocolResult(found);
}

// Lays an entry out in one block: the structure first, then its pointer
// arrays and texts. With no block it only counts the bytes needed.
class Packer {
public:
    Packer(char* base, std::size_t size) : m_base(base), m_size(size) {}
    std::size_t Used() const { return m_used; }

    void* Alloc(std::size_t bytes, std::size_t align)
    {
        m_used = (m_used + align - 1) / align * align;
        void* p = m_base && m_used + bytes <= m_size ? m_base + m_used : nullptr;
        m_used += bytes;
        return p;
    }
    template <class T>
    T* New(std::size_t count = 1)
    {
        return static_cast<T*>(Alloc(sizeof(T) * count, alignof(T)));
    }
    char* Text(const std::string& s)
    {
        char* p = static_cast<char*>(Alloc(s.size() + 1, 1));
        if (p)
            std::memcpy(p, s.c_str(), s.size() + 1);
        return p;
    }
    char** TextList(const std::vector<std::string>& items)
    {
        char** list = New<char*>(items.size() + 1);
        for (std::size_t i = 0; i < items.size(); ++i) {
            char* t = Text(items[i]);
            if (list)
                list[i] = t;
        }
        if (list)
            list[items.size()] = nullptr;
        return list;
    }

private:
    char* m_base;
    std::size_t m_size;
    std::size_t m_used = 0;
};

std::size_t pack(const HostResult& r, char* base, std::size_t size)
{
    Packer p(base, size);
    hostent* h = p.New<hostent>();
    char* name = p.Text(r.name);
    char** aliases = p.New<char*>(1);
    char** list = p.New<char*>(r.addresses.size() + 1);
    for (std::size_t i = 0; i < r.addresses.size(); ++i) {
        auto* a = p.New<in_addr>();
        if (a)
            *a = r.addresses[i];
        if (list)
            list[i] = reinterpret_cast<char*>(a);
    }
    if (h && list && aliases) {
        aliases[0] = nullptr;
        list[r.addresses.size()] = nullptr;
        h->h_name = name;
        h->h_aliases = aliases;
        h->h_addrtype = AF_INET;
        h->h_length = 4;
        h->h_addr_list = list;
    }
    return p.Used();
}

std::size_t pack(const ServResult& r, char* base, std::size_t size)
{
    Packer p(base, size);
    servent* s = p.New<servent>();
    char* name = p.Text(r.name);
    char** aliases = p.TextList(r.aliases);
    char* proto = p.Text(r.proto);
    if (s && aliases) {
        s->s_name = name;
        s->s_aliases = aliases;
        s->s_port = r.port;
        s->s_proto = proto;
    }
    return p.Used();
}

std::size_t pack(const ProtoResult& r, char* base, std::size_t size)
{
    Packer p(base, size);
    protoent* e = p.New<protoent>();
    char* name = p.Text(r.name);
    char** aliases = p.TextList(r.aliases);
    if (e && aliases) {
        e->p_name = name;
        e->p_aliases = aliases;
        e->p_proto = r.number;
    }
    return p.Used();
}

// The blocking forms: the entry lives in this thread's storage until the
// next look-up of the same kind.
template <class Entry, class Result>
Entry* answer(std::vector<char>& storage, const Result& r)
{
    if (r.error) {
        SetLastError(r.error);
        return nullptr;
    }
    storage.assign(pack(r, nullptr, 0), 0);
    pack(r, storage.data(), storage.size());
    return reinterpret_cast<Entry*>(storage.data());
}

struct Request {
    std::mutex mutex;
    bool canceled = false;
    bool finished = false;
};

struct Requests {
    std::mutex mutex;
    std::unordered_map<WSAHANDLE, std::shared_ptr<Request>> live;
    std::atomic<WSAHANDLE> next{1};
};

Requests& requests()
{
    static Requests r;
    return r;
}

template <class Work>
WSAHANDLE startAsync(HWND window, UINT message, char* buf, int buflen, Work work)
{
    if (!buf || buflen <= 0) {
        SetLastError(WSAEFAULT);
        return 0;
    }
    const WSAHANDLE handle = requests().next++;
    auto request = std::make_shared<Request>();
    {
        std::lock_guard lock(requests().mutex);
        requests().live.emplace(handle, request);
    }
    QThreadPool::globalInstance()->start([=] {
        const auto result = work();
        std::lock_guard lock(request->mutex);
        if (request->canceled)
            return;
        request->finished = true;
        {
            std::lock_guard registryLock(requests().mutex);
            requests().live.erase(handle);
        }
        int error = result.error;
        std::size_t needed = 0;
        if (!error) {
            needed = pack(result, nullptr, 0);
            if (needed > static_cast<std::size_t>(buflen))
                error = WSAENOBUFS;
            else
                pack(result, buf, static_cast<std::size_t>(buflen));
        }
        PostMessage(window, message, static_cast<WPARAM>(handle),
                    WSAMAKEASYNCREPLY(error == WSAENOBUFS ? static_cast<int>(needed) : 0, error));
    });
    return handle;
}

} // namespace

hostent* GetHostByName(const char* name)
{
    thread_local std::vector<char> storage;
    return answer<hostent>(storage, resolveName(name ? name : ""));
}

hostent* GetHostByAddr(const char* addr, int len, int type)
{
    thread_local std::vector<char> storage;
    return answer<hostent>(storage, resolveAddress(addr && len > 0 ? std::string(addr, static_cast<std::size_t>(len)) : std::string(), type));
}

servent* GetServByName(const char* name, const char* proto)
{
    thread_local std::vector<char> storage;
    return answer<servent>(storage, serviceByName(name ? name : "", proto ? proto : "", !proto));
}

servent* GetServByPort(int port, const char* proto)
{
    thread_local std::vector<char> storage;
    return answer<servent>(storage, serviceByPort(port, proto ? proto : "", !proto));
}

protoent* GetProtoByName(const char* name)
{
    thread_local std::vector<char> storage;
    return answer<protoent>(storage, protocolByName(name ? name : ""));
}

protoent* GetProtoByNumber(int number)
{
    thread_local std::vector<char> storage;
    return answer<protoent>(storage, protocolByNumber(number));
}

WSAHANDLE AsyncGetHostByAddr(HWND w, UINT m, const char* addr, int len, int type, char* buf, int buflen)
{
    std::string a = addr && len > 0 ? std::string(addr, static_cast<std::size_t>(len)) : std::string();
    return startAsync(w, m, buf, buflen, [a, type] { return resolveAddress(a, type); });
}

WSAHANDLE AsyncGetHostByName(HWND w, UINT m, const char* name, char* buf, int buflen)
{
    std::string n = name ? name : "";
    return startAsync(w, m, buf, buflen, [n] { return resolveName(n); });
}

WSAHANDLE AsyncGetProtoByNumber(HWND w, UINT m, int number, char* buf, int buflen)
{
    return startAsync(w, m, buf, buflen, [number] { return protocolByNumber(number); });
}

WSAHANDLE AsyncGetProtoByName(HWND w, UINT m, const char* name, char* buf, int buflen)
{
    std::string n = name ? name : "";
    return startAsync(w, m, buf, buflen, [n] { return protocolByName(n); });
}

WSAHANDLE AsyncGetServByPort(HWND w, UINT m, int port, const char* proto, char* buf, int buflen)
{
    std::string p = proto ? proto : "";
    const bool any = !proto;
    return startAsync(w, m, buf, buflen, [port, p, any] { return serviceByPort(port, p, any); });
}

WSAHANDLE AsyncGetServByName(HWND w, UINT m, const char* name, const char* proto, char* buf, int buflen)
{
    std::string n = name ? name : "";
    std::string p = proto ? proto : "";
    const bool any = !proto;
    return startAsync(w, m, buf, buflen, [n, p, any] { return serviceByName(n, p, any); });
}

int CancelAsyncRequest(WSAHANDLE handle)
{
    std::shared_ptr<Request> request;
    {
        std::lock_guard lock(requests().mutex);
        auto it = requests().live.find(handle);
        if (it != requests().live.end())
            request = it->second;
    }
    if (!request) {
        SetLastError(handle != 0 && handle < requests().next ? WSAEALREADY : WSAEINVAL);
        return SOCKET_ERROR;
    }
    std::lock_guard lock(request->mutex);
    if (request->finished) {
        SetLastError(WSAEALREADY);
        return SOCKET_ERROR;
    }
    request->canceled = true;
    std::lock_guard registryLock(requests().mutex);
    requests().live.erase(handle);
    return 0;
}

} // namespace plover::wsimpl

namespace plover {

int ResolveStreamHost(const std::string& name, std::vector<NetAddress>& addresses)
{
    addresses.clear();
    if (!wsimpl::Started())
        return WSANOTINITIALISED;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: it hides the IPv6 addresses of a machine whose only
    // IPv6 address is the loopback. The resolver's sorting puts addresses
    // it cannot reach last, and connecting tries the next one anyway.
    addrinfo* list = nullptr;
    const int rc = name.empty() ? EAI_NONAME : ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0)
        return wsimpl::lookupError(rc);
    // In the resolver's order, which sorts them as RFC 6724 says.
    for (addrinfo* a = list; a; a = a->ai_next)
        if (auto address = NetAddress::FromSockaddr(a->ai_addr, a->ai_addrlen))
            addresses.push_back(*address);
    ::freeaddrinfo(list);
    return addresses.empty() ? WSANO_DATA : 0;
}

} // namespace plover
