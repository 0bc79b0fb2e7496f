// The interface table behind IPConfig, read from the MIB-II agent library the system ships
// (inetmib1.dll through its SNMP extension entry points) or, where it is absent, from the IP
// helper's tables, and the IPConfig class that shows it to scripts.
#include <windows.h>
#include <winsock2.h>
// After the Winsock and Windows headers.
#include <iphlpapi.h>
#include <snmp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "host/net/inet_win32.h"
#include "host/net/net_classes.h"
#include "platform/net_socket.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill::net {

namespace {

// Bounds on what the agent is believed: it is the system's, but a table walk must end.
constexpr uint32_t kMaxInterfaces = 1024;
constexpr uint32_t kMaxRows = 16384;

// --- The MIB-II agent ---------------------------------------------------------------------------

using InitFn = BOOL(WINAPI*)(DWORD, HANDLE*, AsnObjectIdentifier*);
using QueryFn = BOOL(WINAPI*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
using MemAllocFn = LPVOID(SNMP_FUNC_TYPE*)(UINT);
using VarBindFreeFn = VOID(SNMP_FUNC_TYPE*)(SnmpVarBind*);

template <typename F>
F entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class MibAgent {
  public:
    MibAgent() {
        memory_ = LoadLibraryW(L"snmpapi.dll");
        agent_ = memory_ ? LoadLibraryW(L"inetmib1.dll") : nullptr;
        if (!agent_) return;
        auto init = entryPoint<InitFn>(agent_, "SnmpExtensionInit");
        query_ = entryPoint<QueryFn>(agent_, "SnmpExtensionQuery");
        alloc_ = entryPoint<MemAllocFn>(memory_, "SnmpUtilMemAlloc");
        free_ = entryPoint<VarBindFreeFn>(memory_, "SnmpUtilVarBindFree");
        bool complete = init && query_ && alloc_ && free_ &&
                        GetProcAddress(agent_, "SnmpExtensionTrap") &&
                        GetProcAddress(agent_, "SnmpExtensionInitEx");
        HANDLE trapEvent = nullptr;
        AsnObjectIdentifier view{};
        ready_ = complete && init(GetTickCount(), &trapEvent, &view);
    }
    ~MibAgent() {
        if (agent_) FreeLibrary(agent_);
        if (memory_) FreeLibrary(memory_);
    }
    MibAgent(const MibAgent&) = delete;
    MibAgent& operator=(const MibAgent&) = delete;

    bool ready() const { return ready_; }

    // A set of variables asked together; the agent replaces names and values on each request
    // with memory of its allocator, which is also where the first names must come from.
    class Bindings {
      public:
        Bindings(MibAgent& agent, std::initializer_list<std::initializer_list<UINT>> names)
            : agent_(agent), binds_(names.size()) {
            size_t i = 0;
            for (auto name : names) {
                SnmpVarBind& bind = binds_[i++];
                bind = {};
                bind.name.ids = static_cast<UINT*>(agent.alloc_(UINT(name.size() * sizeof(UINT))));
                if (!bind.name.ids) continue;
                std::copy(name.begin(), name.end(), bind.name.ids);
                bind.name.idLength = UINT(name.size());
                roots_.emplace_back(name);
            }
        }
        ~Bindings() {
            for (SnmpVarBind& bind : binds_) agent_.free_(&bind);
        }
        Bindings(const Bindings&) = delete;
        Bindings& operator=(const Bindings&) = delete;

        bool request(BYTE type) {
            if (roots_.size() != binds_.size()) return false;
            SnmpVarBindList list{binds_.data(), UINT(binds_.size())};
            AsnInteger32 status = 0, index = 0;
            return agent_.query_(type, &list, &status, &index) &&
                   status == SNMP_ERRORSTATUS_NOERROR;
        }
        // Whether every name is still inside the column it started in.
        bool inColumns() const {
            for (size_t i = 0; i < binds_.size(); ++i) {
                const AsnObjectIdentifier& name = binds_[i].name;
                const std::vector<UINT>& root = roots_[i];
                if (name.idLength <= root.size() ||
                    !std::equal(root.begin(), root.end(), name.ids)) {
                    return false;
                }
            }
            return true;
        }
        const AsnAny& value(size_t i) const { return binds_[i].value; }
        // The last part of the name: the row index of a table indexed by one number.
        UINT rowIndex(size_t i) const {
            const AsnObjectIdentifier& name = binds_[i].name;
            return name.idLength ? name.ids[name.idLength - 1] : 0;
        }

      private:
        MibAgent& agent_;
        std::vector<SnmpVarBind> binds_;
        std::vector<std::vector<UINT>> roots_;
    };

  private:
    HMODULE memory_ = nullptr;
    HMODULE agent_ = nullptr;
    QueryFn query_ = nullptr;
    MemAllocFn alloc_ = nullptr;
    VarBindFreeFn free_ = nullptr;
    bool ready_ = false;
};

uint32_t numberOf(const AsnAny& value) {
    switch (value.asnType) {
        case ASN_INTEGER32:
            return uint32_t(value.asnValue.number);
        case ASN_UNSIGNED32:
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
            return value.asnValue.unsigned32;
        default:
            return 0;
    }
}

// Octet strings and IP addresses (four bytes in network order).
std::string bytesOf(const AsnAny& value) {
    if (value.asnType != ASN_OCTETSTRING && value.asnType != ASN_IPADDRESS) return {};
    const AsnOctetString& s = value.asnValue.string;
    if (!s.stream) return {};
    return std::string(reinterpret_cast<const char*>(s.stream), s.length);
}

uint32_t addressOf(const AsnAny& value) {
    std::string bytes = bytesOf(value);
    if (bytes.size() != 4) return 0;
    return (uint32_t(uint8_t(bytes[0])) << 24) | (uint32_t(uint8_t(bytes[1])) << 16) |
           (uint32_t(uint8_t(bytes[2])) << 8) | uint8_t(bytes[3]);
}

InterfaceEntry* entryFor(std::vector<InterfaceEntry>& table, uint32_t index) {
    for (InterfaceEntry& entry : table) {
        if (entry.index == index) return &entry;
    }
    return nullptr;
}

void addAddress(InterfaceEntry* entry, uint32_t address, uint32_t mask) {
    if (!entry || entry->addressCount >= 2) return;
    entry->addresses[entry->addressCount] = address;
    entry->masks[entry->addressCount] = mask;
    ++entry->addressCount;
}

void setPhysical(InterfaceEntry* entry, const uint8_t* bytes, size_t length) {
    entry->physicalLength = uint32_t(std::min<size_t>(length, sizeof entry->physical));
    std::memcpy(entry->physical, bytes, entry->physicalLength);
}

// The ifTable columns of one row after ifIndex: ifDescr, ifType, ifSpeed, ifPhysAddress and
// ifOperStatus. Asked together first; when the agent refuses that (it refuses the whole request
// for a column it cannot answer), each alone, and a column it cannot answer stays empty.
void readInterfaceRow(MibAgent& agent, UINT row, InterfaceEntry* entry) {
    constexpr UINT kColumns[] = {2, 3, 5, 6, 8};
    auto store = [&](UINT c, const AsnAny& value) {
        switch (c) {
            case 2:
                entry->description = bytesOf(value).substr(0, 255);
                break;
            case 3:
                entry->type = numberOf(value);
                break;
            case 5:
                entry->speed = numberOf(value);
                break;
            case 6: {
                std::string physical = bytesOf(value);
                setPhysical(entry, reinterpret_cast<const uint8_t*>(physical.data()),
                            physical.size());
                break;
            }
            case 8:
                entry->operStatus = numberOf(value);
                break;
        }
    };
    {
        MibAgent::Bindings all(agent, {{1, 3, 6, 1, 2, 1, 2, 2, 1, 2, row},
                                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 3, row},
                                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 5, row},
                                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 6, row},
                                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 8, row}});
        if (all.request(SNMP_PDU_GET)) {
            for (size_t i = 0; i < std::size(kColumns); ++i) store(kColumns[i], all.value(i));
            return;
        }
    }
    for (UINT c : kColumns) {
        MibAgent::Bindings one(agent, {{1, 3, 6, 1, 2, 1, 2, 2, 1, c, row}});
        if (one.request(SNMP_PDU_GET)) store(c, one.value(0));
    }
}

bool readFromAgent(std::vector<InterfaceEntry>* out) {
    MibAgent agent;
    if (!agent.ready()) return false;
    uint32_t count = 0;
    {
        MibAgent::Bindings number(agent, {{1, 3, 6, 1, 2, 1, 2, 1, 0}});
        if (!number.request(SNMP_PDU_GET)) return false;
        count = std::min(numberOf(number.value(0)), kMaxInterfaces);
    }
    std::vector<InterfaceEntry> table;
    table.reserve(std::max<uint32_t>(count, 1));

    // The rows come from a walk of ifIndex; each row's other columns are asked for by name. (A
    // walk of all six columns together goes astray in agents that skip a row's empty hardware
    // address, as Wine's does for the loopback interface.)
    MibAgent::Bindings rows(agent, {{1, 3, 6, 1, 2, 1, 2, 2, 1, 1}});
    while (table.size() < count && rows.request(SNMP_PDU_GETNEXT) && rows.inColumns()) {
        InterfaceEntry entry;
        entry.index = numberOf(rows.value(0));
        readInterfaceRow(agent, rows.rowIndex(0), &entry);
        table.push_back(std::move(entry));
    }

    MibAgent::Bindings addresses(agent, {{1, 3, 6, 1, 2, 1, 4, 20, 1, 1},
                                         {1, 3, 6, 1, 2, 1, 4, 20, 1, 2},
                                         {1, 3, 6, 1, 2, 1, 4, 20, 1, 3}});
    for (uint32_t row = 0;
         row < kMaxRows && addresses.request(SNMP_PDU_GETNEXT) && addresses.inColumns(); ++row) {
        addAddress(entryFor(table, numberOf(addresses.value(1))), addressOf(addresses.value(0)),
                   addressOf(addresses.value(2)));
    }

    MibAgent::Bindings routes(agent, {{1, 3, 6, 1, 2, 1, 4, 21, 1, 1},
                                      {1, 3, 6, 1, 2, 1, 4, 21, 1, 2},
                                      {1, 3, 6, 1, 2, 1, 4, 21, 1, 7}});
    for (uint32_t row = 0; row < kMaxRows && routes.request(SNMP_PDU_GETNEXT) && routes.inColumns();
         ++row) {
        if (addressOf(routes.value(0)) != 0) continue;
        if (InterfaceEntry* entry = entryFor(table, numberOf(routes.value(1)))) {
            entry->hasGateway = true;
            entry->gateway = addressOf(routes.value(2));
        }
    }
    *out = std::move(table);
    return true;
}

// --- The IP helper ------------------------------------------------------------------------------

template <typename Table, typename Query>
std::unique_ptr<uint8_t[]> ipHelperTable(Query query) {
    ULONG size = 0;
    if (query(nullptr, &size) != ERROR_INSUFFICIENT_BUFFER || size == 0) return nullptr;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
    if (query(reinterpret_cast<Table*>(buffer.get()), &size) != NO_ERROR) return nullptr;
    return buffer;
}

bool readFromIpHelper(std::vector<InterfaceEntry>* out) {
    auto interfaces = ipHelperTable<MIB_IFTABLE>(
        [](MIB_IFTABLE* t, ULONG* size) { return GetIfTable(t, size, TRUE); });
    if (!interfaces) return false;
    std::vector<InterfaceEntry> table;
    const auto* rows = reinterpret_cast<const MIB_IFTABLE*>(interfaces.get());
    for (DWORD i = 0; i < rows->dwNumEntries && i < kMaxInterfaces; ++i) {
        const MIB_IFROW& row = rows->table[i];
        InterfaceEntry entry;
        entry.index = row.dwIndex;
        entry.type = row.dwType;
        entry.speed = row.dwSpeed;
        entry.operStatus = row.dwOperStatus;
        setPhysical(&entry, row.bPhysAddr, std::min<DWORD>(row.dwPhysAddrLen, MAXLEN_PHYSADDR));
        entry.description.assign(reinterpret_cast<const char*>(row.bDescr),
                                 strnlen(reinterpret_cast<const char*>(row.bDescr),
                                         std::min<DWORD>(row.dwDescrLen, MAXLEN_IFDESCR)));
        table.push_back(std::move(entry));
    }
    if (auto addresses = ipHelperTable<MIB_IPADDRTABLE>(
            [](MIB_IPADDRTABLE* t, ULONG* size) { return GetIpAddrTable(t, size, TRUE); })) {
        const auto* rows = reinterpret_cast<const MIB_IPADDRTABLE*>(addresses.get());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
            const MIB_IPADDRROW& row = rows->table[i];
            addAddress(entryFor(table, row.dwIndex), ntohl(row.dwAddr), ntohl(row.dwMask));
        }
    }
    if (auto routes = ipHelperTable<MIB_IPFORWARDTABLE>(
            [](MIB_IPFORWARDTABLE* t, ULONG* size) { return GetIpForwardTable(t, size, TRUE); })) {
        const auto* rows = reinterpret_cast<const MIB_IPFORWARDTABLE*>(routes.get());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
            const MIB_IPFORWARDROW& row = rows->table[i];
            if (row.dwForwardDest != 0) continue;
            if (InterfaceEntry* entry = entryFor(table, row.dwForwardIfIndex)) {
                entry->hasGateway = true;
                entry->gateway = ntohl(row.dwForwardNextHop);
            }
        }
    }
    *out = std::move(table);
    return true;
}

// --- The IPConfig class -------------------------------------------------------------------------

// Instance data: an IPConfig made by the script itself has no table and answers nothing.
struct IPConfigCell {
    std::optional<std::vector<InterfaceEntry>> table;
};
void* resolveTable(void* data) {
    auto* cell = static_cast<IPConfigCell*>(data);
    return cell->table ? &*cell->table : nullptr;
}
using Table = std::vector<InterfaceEntry>;

const InterfaceEntry* entryAt(const Table& table, int64_t i) {
    return i >= 0 && uint64_t(i) < table.size() ? &table[size_t(i)] : nullptr;
}

int64_t interfaceCount(Table& table) {
    return int64_t(table.size());
}

ScriptValue typeName(ScriptEngine* engine, Table& table, int64_t i) {
    const InterfaceEntry* entry = entryAt(table, i);
    if (!entry) return makeNull();
    const char* name = "";
    switch (entry->type) {
        case 1:
            name = "other";
            break;
        case 6:
            name = "ethernet";
            break;
        case 9:
            name = "token ring";
            break;
        case 15:
            name = "fddi";
            break;
        case 23:
            name = "ppp";
            break;
        case 24:
            name = "loopback";
            break;
        case 28:
            name = "slip";
            break;
        default:
            break;
    }
    return newStringFromAscii(engine, name);
}

template <bool Masks>
ScriptValue addressList(ScriptEngine* engine, Table& table, int64_t i) {
    const InterfaceEntry* entry = entryAt(table, i);
    if (!entry) return makeNull();
    ScriptValue list;
    newArray(engine, &list, 0);
    for (uint32_t k = 0; k < entry->addressCount; ++k) {
        uint32_t address = Masks ? entry->masks[k] : entry->addresses[k];
        setElement(engine, list, newStringFromAscii(engine, platform::formatIPv4(address)), k);
    }
    list.arr->length = entry->addressCount;
    return list;
}

ScriptValue defaultGateway(ScriptEngine* engine, Table& table, int64_t i) {
    const InterfaceEntry* entry = entryAt(table, i);
    if (!entry) return makeNull();
    return newStringFromAscii(engine,
                              entry->hasGateway ? platform::formatIPv4(entry->gateway) : "");
}

ScriptValue hardwareAddress(ScriptEngine* engine, Table& table, int64_t i) {
    const InterfaceEntry* entry = entryAt(table, i);
    if (!entry) return makeNull();
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint32_t k = 0; k < entry->physicalLength; ++k) {
        if (k) text += '-';
        text += kDigits[entry->physical[k] >> 4];
        text += kDigits[entry->physical[k] & 0x0F];
    }
    return newStringFromAscii(engine, text);
}

ScriptValue description(ScriptEngine* engine, Table& table, int64_t i) {
    const InterfaceEntry* entry = entryAt(table, i);
    if (!entry) return makeNull();
    ScriptValue out;
    newStringFromAnsi(engine, &out, entry->description.data(), entry->description.size());
    return out;
}

constexpr bind::Member kIPConfigMembers[] = {
    bind::getter<interfaceCount>("ifNum").doc("The number of interfaces; methods take an index "
                                              "from 0 to ifNum-1 and answer null for others."),
    bind::method<typeName>("ifType", bind::Empty::kNull)
        .doc("index",
             "\"ethernet\", \"loopback\", \"ppp\", \"slip\", \"token ring\", \"fddi\", \"other\", "
             "or \"\" for other types."),
    bind::method<addressList<false>>("ifIP", bind::Empty::kNull)
        .doc("index", "An array of the interface's addresses, as dotted strings."),
    bind::method<addressList<true>>("ifIPMask", bind::Empty::kNull)
        .doc("index", "An array of the matching network masks, as dotted strings."),
    bind::method<defaultGateway>("ifDefaultGateway", bind::Empty::kNull)
        .doc("index", "The default gateway as a dotted string, or \"\"."),
    bind::method<hardwareAddress>("ifMac", bind::Empty::kNull)
        .doc("index",
             "The hardware address as hex pairs joined by \"-\", such as \"00-1A-2B-3C-4D-5E\"; "
             "\"\" when there is none."),
    bind::method<description>("ifDesc", bind::Empty::kNull)
        .doc("index", "The interface's description."),
    bind::objectText("[object IPConfig]"),
};

std::unique_ptr<IPConfigCell> makeEmptyIPConfig(ScriptEngine*) {
    return std::make_unique<IPConfigCell>();
}

}  // namespace

bool readInterfaces(std::vector<InterfaceEntry>* out, InterfaceSource source) {
    out->clear();
    if (source != InterfaceSource::kIpHelper && readFromAgent(out)) return true;
    return source != InterfaceSource::kMibAgent && readFromIpHelper(out);
}

ScriptValue newIPConfigValue(ScriptEngine* engine, std::vector<InterfaceEntry> table) {
    auto cell = std::make_unique<IPConfigCell>();
    cell->table = std::move(table);
    return bind::newInstance(engine, ClassId::kIPConfig, std::move(cell));
}

}  // namespace quill::net

namespace quill {

void registerIPConfig(ScriptEngine* engine) {
    bind::defineClass<net::IPConfigCell>(
        engine, {.name = "IPConfig",
                 .id = ClassId::kIPConfig,
                 .members = {net::kIPConfigMembers},
                 .call = bind::constructorCall<net::makeEmptyIPConfig>,
                 .construct = bind::constructor<net::makeEmptyIPConfig>,
                 .resolve = net::resolveTable,
                 .synopsis = "",
                 .summary = "The network interfaces, from Inet.getIPConfig (one constructed "
                            "directly has no interfaces)."});
}

}  // namespace quill
