// The address the status bar shows: clients on other desks must be able to
// reach it, so a host name that resolves only to loopback gives way to the
// first interface that is up and not loopback.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/platform_info.h"

namespace zv {
namespace {

TEST(LocalAddress, PrefersAnAddressOtherDesksCanReach) {
    const InterfaceAddress lo{"lo", "127.0.0.1", true, true};
    const InterfaceAddress downCard{"eth0", "10.0.0.5", false, false};
    const InterfaceAddress card{"eth1", "192.168.1.20", true, false};
    const InterfaceAddress wifi{"wlan0", "192.168.2.30", true, false};

    // The name resolves to an address of the network: it is shown as before.
    EXPECT_EQ(chooseLocalAddress({"192.168.1.20"}, {lo, wifi}), "192.168.1.20");
    // Loopback first, then the network address: the network address.
    EXPECT_EQ(chooseLocalAddress({"127.0.1.1", "192.168.1.20"}, {lo, card}), "192.168.1.20");
    // Only loopback (Debian's 127.0.1.1 for the host name): the first interface
    // that is up and not loopback, in the system's order; a card that is down
    // is passed over.
    EXPECT_EQ(chooseLocalAddress({"127.0.1.1"}, {lo, downCard, card, wifi}), "192.168.1.20");
    EXPECT_EQ(chooseLocalAddress({"127.0.0.1"}, {wifi, card}), "192.168.2.30");
    // Nothing else: loopback, as the name resolves.
    EXPECT_EQ(chooseLocalAddress({"127.0.1.1"}, {lo, downCard}), "127.0.1.1");
    EXPECT_EQ(chooseLocalAddress({"127.0.1.1"}, {}), "127.0.1.1");
    // An interface flagged as not loopback but holding a loopback address is
    // no better than the name's own.
    EXPECT_EQ(chooseLocalAddress({"127.0.1.1"}, {{"dummy0", "127.0.0.2", true, false}}),
              "127.0.1.1");
    // A name that resolves to nothing still counts as no address at all.
    EXPECT_EQ(chooseLocalAddress({}, {card}), std::nullopt);

    EXPECT_TRUE(isLoopbackAddress("127.255.0.1"));
    EXPECT_FALSE(isLoopbackAddress("12.7.0.1"));

    // This computer: whatever is chosen is one of its own addresses.
    const std::vector<InterfaceAddress> own = interfaceAddresses();
    if (const auto chosen = localIPAddressOfHost(); chosen && !isLoopbackAddress(*chosen)) {
        const std::vector<std::string> resolved = hostNameAddresses();
        bool known = std::find(resolved.begin(), resolved.end(), *chosen) != resolved.end();
        for (const InterfaceAddress& address : own) known = known || address.address == *chosen;
        EXPECT_TRUE(known) << *chosen;
    }
}

}  // namespace
}  // namespace zv
