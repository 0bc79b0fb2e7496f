// Where the network tests find the servers tests/net/net_servers.py started for them: each is a
// QUILL_NET_* environment variable holding a 127.x address, or an address and a port.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace quill::test {

struct Endpoint {
    std::string host;
    uint16_t port = 0;
};

// The server named `name` (QUILL_NET_<name>); fails the test when the variable is missing, so a
// run outside the server script cannot pass by testing nothing.
inline Endpoint server(const char* name) {
    std::string variable = std::string("QUILL_NET_") + name;
    const char* value = std::getenv(variable.c_str());
    EXPECT_NE(value, nullptr) << variable << " is not set: run through tests/net/net_servers.py";
    if (!value) return {"127.0.0.1", 9};
    std::string text = value;
    Endpoint out;
    size_t colon = text.find(':');
    out.host = text.substr(0, colon);
    if (colon != std::string::npos) out.port = uint16_t(std::stoi(text.substr(colon + 1)));
    return out;
}

}  // namespace quill::test
