// The module file as the host sees it: descriptor, server table, activation.
#include "plugin/core/shake.h"
#include "plugin/identity.h"
#include "support/module_fixture.h"

#include <cstring>

using testsupport::ModuleTest;

TEST_F(ModuleTest, DescriptorAndServerTableAreWhatTheHostReads) {
    const ModuleDescriptor& descriptor = module->descriptor();
    EXPECT_EQ(descriptor.syncMagic, 0x04121994u);
    EXPECT_EQ(descriptor.systemVersion, 2u);
    EXPECT_EQ(descriptor.machineType, 0x300u);

    auto servers = module->servers();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_STREQ(servers[0].serverClass, "ItemMotionHandler");
    EXPECT_STREQ(servers[0].serverName, "VRIM_S");
    EXPECT_STREQ(servers[1].serverClass, "ItemMotionInterface");
    EXPECT_STREQ(servers[1].serverName, "VRIM_S");
    const ServerRecord& end = descriptor.servers[2];
    EXPECT_EQ(end.serverClass, nullptr);
    EXPECT_EQ(end.serverName, nullptr);
    EXPECT_EQ(end.activate, nullptr);

    EXPECT_EQ(descriptor.startup(), reinterpret_cast<void*>(static_cast<intptr_t>(4)));
    descriptor.shutdown(descriptor.startup());
    EXPECT_EQ(module->findServer(kHandlerClass, vrim::kServerName), servers[0].activate);
}

TEST(ModuleFileTest, ShippedModuleExportsNoAllocationProbe) {
    auto product = testsupport::openModule(testsupport::kProductModule);
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->memoryProbe(), nullptr);
    EXPECT_EQ(product->symbol("shakeEvaluate"), nullptr);
}

TEST_F(ModuleTest, HandlerActivationMatrix) {
    struct Case {
        int32_t version;
        bool objectInfo, itemInfo;
        int result;
        int slotsWritten; // 0, 6 or 7
        std::vector<std::string> lookups;
    };
    const std::vector<Case> cases = {
        {1, true, true, 0, 6, {"LW Object Info", "LW Item Info"}},
        {2, true, true, 0, 7, {"LW Object Info", "LW Item Info"}},
        {0, true, true, 1, 0, {"LW Object Info"}},
        {3, true, true, 1, 0, {"LW Object Info"}},
        {3, false, true, 2, 0, {"LW Object Info"}},
        {2, false, true, 2, 0, {"LW Object Info"}},
        {2, true, false, 2, 7, {"LW Object Info", "LW Item Info"}},
        {1, true, false, 2, 6, {"LW Object Info", "LW Item Info"}},
    };
    ActivateFunc activate = module->findServer(kHandlerClass, vrim::kServerName);
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        host.offer("LW Object Info", c.objectInfo);
        host.offer("LW Item Info", c.itemInfo);
        host.lookups.clear();
        // A record one slot longer than version 2's, filled with a marker.
        void* slots[8];
        void* marker = &slots;
        for (auto& slot : slots) {
            slot = marker;
        }
        EXPECT_EQ(activate(c.version, host.global(), slots, nullptr), c.result);
        EXPECT_EQ(host.lookups, c.lookups);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(slots[i] != marker, i < c.slotsWritten) << "slot " << i + 1;
        }
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(ModuleTest, HandlerVersionsCreateTheSameInstance) {
    standin::Handler v1;
    ASSERT_EQ(v1.activate(*module, host, vrim::kServerName, 1), 0);
    auto* a = static_cast<ShakeInstance*>(v1.create());
    auto* b = static_cast<ShakeInstance*>(handler.create());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->keyCount, b->keyCount);
    EXPECT_EQ(0, std::memcmp(&a->listText, &b->listText, sizeof a->listText));
    ShakeKey ka = *a->firstKey, kb = *b->firstKey;
    EXPECT_EQ(0, std::memcmp(&ka, &kb, sizeof ka));
    EXPECT_EQ(v1.copy(b, a), nullptr);
    v1.destroy(a);
    handler.destroy(b);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, InterfaceActivationFirstSteps) {
    ActivateFunc activate = module->findServer(kInterfaceClass, vrim::kServerName);
    ShakeInstance* instance = static_cast<ShakeInstance*>(handler.create());

    for (int32_t version : {0, 2, 3}) {
        host.lookups.clear();
        EXPECT_EQ(activate(version, host.global(), instance, nullptr), 1);
        EXPECT_TRUE(host.lookups.empty());
    }

    host.offer("Info Messages", false);
    host.lookups.clear();
    EXPECT_EQ(activate(1, host.global(), instance, nullptr), 2);
    EXPECT_EQ(host.lookups, std::vector<std::string>{"Info Messages"});
    EXPECT_TRUE(host.messages.empty());

    host.offer("Info Messages", true);
    host.panelServices = nullptr; // no lwpanels.p
    EXPECT_EQ(activate(1, host.global(), instance, nullptr), 2);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].error);
    EXPECT_EQ(host.messages[0].first, "Unable to active global LWPanelServices");
    ASSERT_TRUE(host.messages[0].hasSecond);
    EXPECT_EQ(host.messages[0].second, " please add plugin lwpanels.p");
    handler.destroy(instance);
}
