// The Socket host class: Windows Sockets for scripts, IPv4 stream and datagram sockets in
// non-blocking form whose network events call the handler properties on the user-interface
// thread (see socket_events_win32.h), with data moving through StringStreams.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/net/handler_call.h"
#include "host/net/net_classes.h"
#include "host/net/socket_events_win32.h"
#include "host/system/stream_core.h"
#include "platform/net_socket.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

using streams::ByteStream;

constexpr long kAllEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
// A receive never asks the system for more than this at once: a script's count is an upper
// bound, not a buffer size to allocate.
constexpr int64_t kMaxReceive = 1 << 20;

// The last Winsock error of this thread as scripts see it through `error`. Kept apart from the
// system's value, which any Win32 call the engine makes between two script statements may reset.
thread_local int tLastError = 0;

bool failWith(int code) {
    tLastError = code;
    WSASetLastError(code);
    return false;
}
bool failed() {
    return failWith(WSAGetLastError());
}

class SocketObject final : public net::SocketEventTarget {
  public:
    explicit SocketObject(ScriptEngine* owner) : engine(owner) {}
    ~SocketObject() { closeSocket(); }
    SocketObject(const SocketObject&) = delete;
    SocketObject& operator=(const SocketObject&) = delete;

    void closeSocket() {
        if (handle == INVALID_SOCKET) return;
        net::releaseSocketEvents(handle, &registration);
        closesocket(handle);
        handle = INVALID_SOCKET;
    }

    // Takes the system socket over: registers its notifications or closes it again.
    bool adopt(SOCKET socket, long eventMask) {
        handle = socket;
        events = eventMask;
        if (net::selectSocketEvents(handle, events, this, &registration)) return true;
        int code = WSAGetLastError();
        closeSocket();
        return failWith(code);
    }

    void socketEvent(SOCKET socket, long event, int error) override {
        if (socket != handle || (event & events) == 0) return;
        if (event == FD_READ && error == 0) {
            u_long waiting = 0;
            if (ioctlsocket(handle, FIONREAD, &waiting) != 0 || waiting == 0) return;
        }
        const ScriptValue* slot = nullptr;
        switch (event) {
            case FD_READ:
                slot = &onReceive;
                break;
            case FD_WRITE:
                slot = &onSend;
                break;
            case FD_OOB:
                slot = &onOOBData;
                break;
            case FD_ACCEPT:
                slot = &onAccept;
                break;
            case FD_CONNECT:
                slot = &onConnect;
                break;
            case FD_CLOSE:
                slot = &onClose;
                break;
            default:
                return;
        }
        if (slot->tag != kTagFunction || !self) return;
        ScriptValue thisValue = makeHost(self);
        net::callHandler(engine, &thisValue, *slot, {makeInteger(error)});
    }

    ScriptEngine* engine;
    SOCKET handle = INVALID_SOCKET;
    long events = 0;
    net::SocketEventRegistration registration;
    // The script object this native object belongs to; `this` of its handlers. Not a root: the
    // object is destroyed with it.
    HostInstance* self = nullptr;
    ScriptValue onAccept = makeUndefined();
    ScriptValue onClose = makeUndefined();
    ScriptValue onConnect = makeUndefined();
    ScriptValue onSend = makeUndefined();
    ScriptValue onReceive = makeUndefined();
    ScriptValue onOOBData = makeUndefined();
};

// Arguments of the wrong type count as missing.
std::optional<int64_t> integerAt(bind::Args args, uint32_t i) {
    ScriptValue v = args[i];
    if (v.tag == kTagInteger) return v.i;
    return std::nullopt;
}
int64_t integerOr(bind::Args args, uint32_t i, int64_t fallback) {
    return integerAt(args, i).value_or(fallback);
}
// A non-empty string, as ANSI text.
std::optional<std::string> hostAt(bind::Args args, uint32_t i) {
    ScriptValue v = args[i];
    if (v.tag != kTagString || v.str->length == 0) return std::nullopt;
    return toAnsiString(stringView(v));
}
// Any value but undefined, converted to a string.
std::optional<std::string> addressAt(ScriptEngine* engine, bind::Args args, uint32_t i) {
    if (!args.has(i) || args[i].tag == kTagUndefined) return std::nullopt;
    return toAnsiString(stringView(toString(engine, args[i])));
}
ByteStream* streamAt(ScriptEngine* engine, bind::Args args, uint32_t i) {
    auto* cell = unwrap<streams::StreamCell>(engine, args[i], ClassId::kStringStream);
    return cell ? static_cast<ByteStream*>(cell->io) : nullptr;
}

std::optional<u_short> portOf(int64_t port) {
    if (port < 0 || port > 0xFFFF) return std::nullopt;
    return u_short(port);
}

sockaddr_in addressFor(uint32_t address, u_short port) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    out.sin_addr.s_addr = htonl(address);
    return out;
}

// A name that is not dotted decimal goes to the resolver; a failure there is error 10022.
std::optional<sockaddr_in> remoteAddress(const std::string& host, int64_t port) {
    auto number = portOf(port);
    auto address = number ? platform::resolveIPv4(host) : std::nullopt;
    if (!address) {
        failWith(WSAEINVAL);
        return std::nullopt;
    }
    return addressFor(*address, *number);
}

ScriptValue endpointObject(ScriptEngine* engine, const sockaddr_in& address) {
    ScriptObject* object = newObject(engine);
    ScriptValue out = makeObject(object);
    std::string dotted = platform::formatIPv4(ntohl(address.sin_addr.s_addr));
    setByAtom(engine, object, intern(engine, "address"), newStringFromAscii(engine, dotted));
    setByAtom(engine, object, intern(engine, "port"), makeInteger(ntohs(address.sin_port)));
    return out;
}

bool bindTo(SocketObject& s, int64_t port, const std::optional<std::string>& address) {
    auto number = portOf(port);
    std::optional<uint32_t> local = address ? platform::parseIPv4(*address) : INADDR_ANY;
    if (!number || !local) return failWith(WSAEINVAL);
    sockaddr_in to = addressFor(*local, *number);
    if (::bind(s.handle, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return failed();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Members.

bool create(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    int64_t port = integerOr(args, 1, 0);
    int64_t type = integerOr(args, 2, SOCK_STREAM);
    int64_t events = integerOr(args, 3, kAllEvents);
    std::optional<std::string> address = addressAt(engine, args, 4);
    s.closeSocket();
    // Raw and other kinds stay out of scripts' reach.
    if (type != SOCK_STREAM && type != SOCK_DGRAM) return failWith(WSAESOCKTNOSUPPORT);
    if (!platform::startSockets()) return failWith(WSANOTINITIALISED);
    SOCKET handle = ::socket(AF_INET, int(type), 0);
    if (handle == INVALID_SOCKET) return failed();
    if (!s.adopt(handle, long(events & kAllEvents))) return false;
    if (!bindTo(s, port, address)) {
        int code = tLastError;
        s.closeSocket();
        return failWith(code);
    }
    return true;
}

bool bindSocket(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    return bindTo(s, integerOr(args, 1, 0), addressAt(engine, args, 2));
}

bool listenOn(SocketObject& s, bind::Args args) {
    int64_t backlog = std::clamp<int64_t>(integerOr(args, 1, 5), 0, INT_MAX);
    return ::listen(s.handle, int(backlog)) == 0 || failed();
}

ScriptValue acceptOne(ScriptEngine* engine, SocketObject& s) {
    SOCKET handle = ::accept(s.handle, nullptr, nullptr);
    if (handle == INVALID_SOCKET) {
        failed();
        return makeUndefined();
    }
    auto accepted = std::make_unique<SocketObject>(engine);
    // The new socket arrives with the listening socket's registration; it gets one of its own.
    if (!accepted->adopt(handle, s.events)) return makeUndefined();
    SocketObject* native = accepted.get();
    ScriptValue out = bind::newInstance(engine, ClassId::kSocket, std::move(accepted));
    if (out.tag == kTagHost) native->self = out.host;
    return out;
}

bool connectTo(SocketObject& s, bind::Args args) {
    std::optional<std::string> host = hostAt(args, 1);
    if (!host) return failWith(WSAEINVAL);
    auto to = remoteAddress(*host, integerOr(args, 2, 0));
    if (!to) return false;
    if (::connect(s.handle, reinterpret_cast<sockaddr*>(&*to), sizeof *to) != 0) return failed();
    return true;
}

bool asyncSelect(SocketObject& s, bind::Args args) {
    std::optional<int64_t> events = integerAt(args, 1);
    if (!events) return true;
    long mask = long(*events & kAllEvents);
    if (s.handle == INVALID_SOCKET) return failWith(WSAENOTSOCK);
    if (!net::selectSocketEvents(s.handle, mask, &s, &s.registration)) return failed();
    s.events = mask;
    return true;
}

// The bytes a send takes from the stream's read position on: nothing when the arguments are
// unusable or nothing is left.
struct Outgoing {
    ByteStream* stream = nullptr;
    int64_t position = 0;
    int length = 0;
};
std::optional<Outgoing> outgoing(ScriptEngine* engine, bind::Args args) {
    ByteStream* stream = streamAt(engine, args, 1);
    std::optional<int64_t> count = integerAt(args, 2);
    if (!stream || !count || *count < 1 || !(stream->mode() & streams::kStreamIn)) {
        return std::nullopt;
    }
    int64_t position = stream->getPos();
    int64_t left = int64_t(stream->length()) - position;
    if (position < 0 || left <= 0) return std::nullopt;
    return Outgoing{stream, position, int(std::min({*count, left, int64_t(INT_MAX)}))};
}

// After a send the read position stands just after the last byte the system took.
int64_t finishSend(const Outgoing& out, int sent) {
    if (sent == SOCKET_ERROR) {
        failed();
        return -1;
    }
    out.stream->setGetPos(out.position + sent);
    return sent;
}

int64_t sendData(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    auto out = outgoing(engine, args);
    if (!out) return 0;
    int flags = int(integerOr(args, 3, 0));
    const char* bytes = reinterpret_cast<const char*>(out->stream->data()) + out->position;
    return finishSend(*out, ::send(s.handle, bytes, out->length, flags));
}

int64_t sendDataTo(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    auto out = outgoing(engine, args);
    if (!out) return 0;
    int64_t port = integerOr(args, 3, 0);
    std::optional<std::string> host = hostAt(args, 4);
    int flags = int(integerOr(args, 5, 0));
    std::optional<sockaddr_in> to;
    if (host) {
        to = remoteAddress(*host, port);
    } else if (auto number = portOf(port)) {
        to = addressFor(INADDR_BROADCAST, *number);  // no host: the broadcast address
    } else {
        failWith(WSAEINVAL);
    }
    if (!to) return -1;
    const char* bytes = reinterpret_cast<const char*>(out->stream->data()) + out->position;
    return finishSend(*out, ::sendto(s.handle, bytes, out->length, flags,
                                     reinterpret_cast<sockaddr*>(&*to), sizeof *to));
}

// Where received bytes go. A stream whose state flags refuse writes (say the end-of-stream flag
// of an earlier read), or that is full, cannot take them now: the receive is refused with error
// 10055 (no buffer space) and the bytes stay in the socket, rather than be received and lost.
struct Incoming {
    ByteStream* stream = nullptr;
    int capacity = 0;  // 0: refused
};
std::optional<Incoming> incoming(ScriptEngine* engine, bind::Args args) {
    ByteStream* stream = streamAt(engine, args, 1);
    std::optional<int64_t> count = integerAt(args, 2);
    if (!stream || !count || *count < 1 || !(stream->mode() & streams::kStreamOut)) {
        return std::nullopt;
    }
    int64_t room = stream->state() == 0 ? streams::kMaxStreamLength - stream->putPos() : 0;
    return Incoming{stream, int(std::min({*count, room, kMaxReceive}))};
}

int64_t storeReceived(const Incoming& in, const std::vector<char>& buffer, int got) {
    if (got == SOCKET_ERROR) {
        failed();
        return -1;
    }
    if (got > 0 && !in.stream->writeBytes(reinterpret_cast<const uint8_t*>(buffer.data()), got)) {
        // Memory ran out (or the heap limit was reached) on the way into the stream.
        failWith(WSAENOBUFS);
        return -1;
    }
    return got;
}

int64_t receiveData(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    auto in = incoming(engine, args);
    if (!in) return 0;
    if (in->capacity == 0) {
        failWith(WSAENOBUFS);
        return -1;
    }
    int flags = int(integerOr(args, 3, 0));
    std::vector<char> buffer(in->capacity);
    return storeReceived(*in, buffer, ::recv(s.handle, buffer.data(), in->capacity, flags));
}

ScriptValue receiveDataFrom(ScriptEngine* engine, SocketObject& s, bind::Args args) {
    auto in = incoming(engine, args);
    if (!in) return makeNull();
    int flags = int(integerOr(args, 3, 0));
    std::vector<char> buffer(std::max(in->capacity, 1));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    int size = sizeof from;
    int got = SOCKET_ERROR;
    if (in->capacity == 0) {
        failWith(WSAENOBUFS);
    } else {
        got = ::recvfrom(s.handle, buffer.data(), in->capacity, flags,
                         reinterpret_cast<sockaddr*>(&from), &size);
    }
    int64_t length = storeReceived(*in, buffer, got);
    ScriptValue out = endpointObject(engine, from);
    setByAtom(engine, out.obj, intern(engine, "length"), makeInteger(length));
    return out;
}

template <int (*Query)(SOCKET, sockaddr*, int*)>
ScriptValue endpoint(ScriptEngine* engine, SocketObject& s) {
    sockaddr_in address{};
    int size = sizeof address;
    if (Query(s.handle, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        failed();
        return makeNull();
    }
    return endpointObject(engine, address);
}
int peerName(SOCKET s, sockaddr* a, int* n) {
    return ::getpeername(s, a, n);
}
int sockName(SOCKET s, sockaddr* a, int* n) {
    return ::getsockname(s, a, n);
}

int64_t getSockOpt(SocketObject& s, bind::Args args) {
    int option = int(integerOr(args, 1, 0));
    int level = int(integerOr(args, 2, SOL_SOCKET));
    int32_t value = 0;
    int size = sizeof value;
    if (::getsockopt(s.handle, level, option, reinterpret_cast<char*>(&value), &size) != 0) {
        failed();
        return 0;
    }
    return value;
}

bool setSockOpt(SocketObject& s, bind::Args args) {
    int option = int(integerOr(args, 1, 0));
    auto value = int32_t(integerOr(args, 2, 0));
    int level = int(integerOr(args, 3, SOL_SOCKET));
    if (::setsockopt(s.handle, level, option, reinterpret_cast<const char*>(&value),
                     sizeof value) != 0) {
        return failed();
    }
    return true;
}

int64_t ioctl(SocketObject& s, bind::Args args) {
    auto command = long(uint32_t(integerOr(args, 1, 0)));
    auto value = u_long(uint32_t(integerOr(args, 2, 0)));
    if (::ioctlsocket(s.handle, command, &value) != 0) failed();
    return int64_t(value);
}

bool shutDown(SocketObject& s, bind::Args args) {
    return ::shutdown(s.handle, int(integerOr(args, 1, SD_SEND))) == 0 || failed();
}

void closeSocket(SocketObject& s) {
    s.closeSocket();
}

int64_t lastError(ScriptEngine*) {
    return tLastError;
}

int64_t toNetworkLong(int64_t n) {
    return int64_t(::htonl(uint32_t(n)));
}
int64_t toNetworkShort(int64_t n) {
    return int64_t(::htons(uint16_t(n)));
}
int64_t toHostLong(int64_t n) {
    return int64_t(::ntohl(uint32_t(n)));
}
int64_t toHostShort(int64_t n) {
    return int64_t(::ntohs(uint16_t(n)));
}

constexpr bind::Member kSocketMembers[] = {
    bind::method<create>("create", bind::Empty::kFalse)
        .doc("[port [, type [, events [, address]]]]",
             "Makes a non-blocking socket ($SOCK_STREAM by default), notified of events (default "
             "all six $FD_ flags) and bound to port and address (default any); true when done."),
    bind::method<bindSocket>("bind", bind::Empty::kFalse)
        .doc("[port [, address]]", "Binds to the local port and dotted address; true when done."),
    bind::method<listenOn>("listen", bind::Empty::kFalse)
        .doc("[backlog]", "Starts listening for connections (backlog default 5); true when done."),
    bind::method<acceptOne>("accept").doc("A new Socket for a pending connection (its handlers "
                                          "empty); undefined when none could be accepted."),
    bind::method<connectTo>("connect", bind::Empty::kFalse)
        .doc("host, port",
             "Starts connecting to host (a name or dotted address); usually false with error 10035 "
             "at once, and onConnect reports the outcome."),
    bind::method<asyncSelect>("asyncSelect", bind::Empty::kFalse)
        .doc("events",
             "Changes which $FD_ events are notified (0 stops notifications); true when done."),
    bind::method<sendData>("send", bind::Empty::kZero)
        .doc("stream, count [, flags]",
             "Sends up to count bytes from the StringStream's read position, which moves past what "
             "was sent; the bytes sent, -1 on error, 0 when nothing is left."),
    bind::method<sendDataTo>("sendTo", bind::Empty::kZero)
        .doc("stream, count [, port [, host [, flags]]]",
             "As send, to port and host (default the broadcast address 255.255.255.255)."),
    bind::method<receiveData>("receive", bind::Empty::kZero)
        .doc("stream, count [, flags]",
             "Receives up to count bytes and writes them at the StringStream's write position; the "
             "bytes received, 0 when the peer closed, -1 on error."),
    bind::method<receiveDataFrom>("receiveFrom", bind::Empty::kNull)
        .doc("stream, count [, flags]",
             "As receive; an object {address, port, length} with the sender and receive's result; "
             "null when the arguments do not fit."),
    bind::method<endpoint<peerName>>("getPeerName", bind::Empty::kNull)
        .doc("The remote end as {address, port}; null when not connected."),
    bind::method<endpoint<sockName>>("getSockName", bind::Empty::kNull)
        .doc("The local end as {address, port}; null on failure."),
    bind::method<getSockOpt>("getSockOpt", bind::Empty::kZero)
        .doc("[option [, level]]",
             "The value of a 4-byte socket option (level default 65535, the socket level); 0 on "
             "failure."),
    bind::method<setSockOpt>("setSockOpt", bind::Empty::kFalse)
        .doc("[option [, value [, level]]]", "Sets a 4-byte socket option; true when done."),
    bind::method<ioctl>("ioctl", bind::Empty::kZero)
        .doc("[command [, value]]",
             "The socket control call with a 4-byte value, answered after the call (1074030207 "
             "gives the bytes waiting)."),
    bind::method<shutDown>("shutDown", bind::Empty::kFalse)
        .doc("[how]", "Stops receiving (0), sending (1, the default) or both (2); true when done."),
    bind::method<closeSocket>("close").doc("Closes the system socket; create may be called again."),
    bind::getter<lastError>("error").doc(
        "The calling thread's last Windows Sockets error code: 0 none, 10035 would block, 10022 "
        "invalid argument... (also Socket.error)."),
    bind::classMethod<toNetworkLong>("htonl").doc("n",
                                                  "The low 32 bits of n in network byte order."),
    bind::classMethod<toNetworkShort>("htons").doc("n",
                                                   "The low 16 bits of n in network byte order."),
    bind::classMethod<toHostLong>("ntohl").doc("n", "The low 32 bits of n in host byte order."),
    bind::classMethod<toHostShort>("ntohs").doc("n", "The low 16 bits of n in host byte order."),
    bind::handler<&SocketObject::onAccept>("onAccept")
        .doc("Called as handler(errorCode), this the socket, when a connection is waiting for "
             "accept."),
    bind::handler<&SocketObject::onClose>("onClose").doc(
        "Called as handler(errorCode) when the peer closed the connection."),
    bind::handler<&SocketObject::onConnect>("onConnect")
        .doc("Called as handler(errorCode) when connect finished (0: connected)."),
    bind::handler<&SocketObject::onSend>("onSend").doc(
        "Called as handler(errorCode) when the socket can send again."),
    bind::handler<&SocketObject::onReceive>("onReceive")
        .doc("Called as handler(errorCode) when data is waiting for receive."),
    bind::handler<&SocketObject::onOOBData>("onOOBData")
        .doc("Called as handler(errorCode) when out-of-band data is waiting."),
    bind::objectText("[object Socket]"),
};

// The new object records its own script value: handlers get it as `this`.
void constructSocket(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue*,
                     ScriptValue* result) {
    auto object = std::make_unique<SocketObject>(engine);
    newHostValue(engine, result, cls, object.get());
    object.release()->self = result->host;
}

void callSocket(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
                ScriptValue* argv) {
    if (!data) constructSocket(engine, cls, argv, result);
}

}  // namespace

void registerSocket(ScriptEngine* engine) {
    platform::startSockets();
    bind::defineClass<SocketObject>(
        engine,
        {.name = "Socket",
         .id = ClassId::kSocket,
         .members = {kSocketMembers},
         .call = callSocket,
         .construct = constructSocket,
         .globals = {{"$FD_READ", FD_READ, "Event flag: data to receive (onReceive)."},
                     {"$FD_WRITE", FD_WRITE, "Event flag: ready to send (onSend)."},
                     {"$FD_OOB", FD_OOB, "Event flag: out-of-band data (onOOBData)."},
                     {"$FD_ACCEPT", FD_ACCEPT, "Event flag: a connection to accept (onAccept)."},
                     {"$FD_CONNECT", FD_CONNECT, "Event flag: a connect finished (onConnect)."},
                     {"$FD_CLOSE", FD_CLOSE, "Event flag: the connection closed (onClose)."},
                     {"$SOCK_STREAM", SOCK_STREAM, "Socket type for create: a TCP connection."},
                     {"$SOCK_DGRAM", SOCK_DGRAM, "Socket type for create: UDP datagrams."}},
         .synopsis = "",
         .summary = "A Windows Sockets socket whose events reach its handlers (onReceive and the "
                    "others) while the script waits in processMsg or the projector runs. Results "
                    "say whether a call succeeded; error gives the reason."});
}

}  // namespace quill
