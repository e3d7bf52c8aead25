#include "platform/HostLookups.h"

#include <QPromise>

#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include <netdb.h>
#include <sys/socket.h>

namespace HostLookups {

namespace {

QList<QHostAddress> systemLookUp(const QByteArray& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    QList<QHostAddress> addresses;
    if (::getaddrinfo(host.constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        const QHostAddress address(entry->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

using Key = std::pair<QByteArray, const LookUp*>;

struct Registry {
    std::mutex mutex;
    std::map<Key, QFuture<QList<QHostAddress>>> running;
    std::map<QByteArray, int> perShare;
};

Registry& registry()
{
    // Threads still looking up when the process ends use it to the last.
    static Registry* const instance = new Registry;
    return *instance;
}

} // namespace

std::variant<QFuture<QList<QHostAddress>>, QString> lookUp(const QByteArray& host,
                                                           const std::shared_ptr<const LookUp>& with,
                                                           const QByteArray& share)
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    const Key key{host, with.get()};
    if (const auto found = r.running.find(key); found != r.running.end())
        return found->second;
    int& running = r.perShare[share];
    if (running >= perShare)
        return QStringLiteral("too many names are being looked up at once");
    auto promise = std::make_shared<QPromise<QList<QHostAddress>>>();
    promise->start();
    QFuture<QList<QHostAddress>> future = promise->future();
    try {
        // `with` goes along, so that no other function takes its place in the key meanwhile.
        std::thread([key, with, share, promise] {
            promise->addResult(with ? (*with)(key.first) : systemLookUp(key.first));
            Registry& r = registry();
            const std::lock_guard lock(r.mutex);
            --r.perShare[share];
            r.running.erase(key);
            promise->finish();
        }).detach();
    } catch (const std::system_error&) {
        return QStringLiteral("no thread could be started to look up ") + QString::fromLatin1(host);
    }
    ++running;
    r.running.emplace(key, future);
    return future;
}

} // namespace HostLookups
