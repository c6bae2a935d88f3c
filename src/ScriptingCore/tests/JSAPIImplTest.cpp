#include "JSAPIImpl.h"
#include "TestObjects.h"
#include "scoped_zonelock.h"

#include <boost/make_shared.hpp>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;

class ZoneObject : public StubMembers<FB::JSAPIImpl> {
public:
    using StubMembers<FB::JSAPIImpl>::StubMembers;

    void invalidate() override { FB::JSAPIImpl::invalidate(); }
    bool valid() const { return m_valid; }
};

// Reads the zone on another thread; the read waits while this thread holds
// the object's zone mutex.
std::future<int> zoneReadElsewhere(const FB::JSAPI& object) {
    return std::async(std::launch::async, [&object] { return object.getZone(); });
}

bool stillWaiting(const std::future<int>& read) {
    return read.wait_for(50ms) == std::future_status::timeout;
}

TEST(JSAPIImpl, StartsInItsDefaultZone) {
    EXPECT_EQ(ZoneObject().getZone(), 0);
    EXPECT_EQ(ZoneObject().getDefaultZone(), 0);
    const ZoneObject third(3);
    EXPECT_EQ(third.getZone(), 3);
    EXPECT_EQ(third.getDefaultZone(), 3);
}

TEST(JSAPIImpl, PushedZonesStackAboveTheDefault) {
    ZoneObject object;
    object.pushZone(5);
    object.pushZone(2);
    EXPECT_EQ(object.getZone(), 2);
    EXPECT_EQ(object.getDefaultZone(), 0);
    object.popZone();
    EXPECT_EQ(object.getZone(), 5);
    object.popZone();
    EXPECT_EQ(object.getZone(), 0);
}

TEST(JSAPIImpl, SettingTheDefaultZoneLeavesPushedZonesAlone) {
    ZoneObject fresh;
    fresh.setDefaultZone(7);
    EXPECT_EQ(fresh.getZone(), 7);
    EXPECT_EQ(fresh.getDefaultZone(), 7);

    ZoneObject pushed;
    pushed.pushZone(4);
    pushed.setDefaultZone(7);
    EXPECT_EQ(pushed.getZone(), 4);
    EXPECT_EQ(pushed.getDefaultZone(), 7);
    pushed.popZone();
    EXPECT_EQ(pushed.getZone(), 7);
}

TEST(JSAPIImpl, PoppingTheDefaultZoneFailsAndChangesNothing) {
    ZoneObject object(2);
    object.pushZone(3);
    object.popZone();
    EXPECT_THROW(object.popZone(), std::runtime_error);
    EXPECT_EQ(object.getZone(), 2);
    EXPECT_EQ(object.getDefaultZone(), 2);
    // The mutex is free: another thread reads at once.
    auto read = zoneReadElsewhere(object);
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(read.get(), 2);
}

TEST(JSAPIImpl, PoppingAnotherThreadsZoneFailsAndLeavesItHeld) {
    ZoneObject object;
    object.pushZone(4);
    auto foreignPop = std::async(std::launch::async,
                                 [&object] { EXPECT_THROW(object.popZone(), std::runtime_error); });
    ASSERT_EQ(foreignPop.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(object.getZone(), 4);

    auto read = zoneReadElsewhere(object);
    EXPECT_TRUE(stillWaiting(read));
    object.popZone();
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(read.get(), 0);
}

TEST(JSAPIImpl, AnotherThreadWaitsForTheGuardAndThenSeesTheDefaultZone) {
    ZoneObject object;
    std::future<int> read;
    {
        FB::scoped_zonelock guard(&object, 5);
        EXPECT_EQ(object.getZone(), 5);
        read = zoneReadElsewhere(object);
        EXPECT_TRUE(stillWaiting(read));
    }
    ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(read.get(), 0);
}

TEST(JSAPIImpl, TheGuardPopsWhenAnExceptionLeavesItsScope) {
    ZoneObject object;
    try {
        FB::scoped_zonelock guard(&object, 6);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(object.getZone(), 0);
    EXPECT_THROW(object.popZone(), std::runtime_error);
}

TEST(JSAPIImpl, AGuardOnNothingDoesNothing) {
    EXPECT_NO_THROW(FB::scoped_zonelock(static_cast<FB::JSAPI*>(nullptr), 1));
    EXPECT_NO_THROW(FB::scoped_zonelock(FB::JSAPIPtr(), 1));
}

// Records the zone it is in when it dies.
class Mortal : public ZoneObject {
public:
    explicit Mortal(int& zoneAtDeath) : m_zoneAtDeath(zoneAtDeath) {}
    ~Mortal() override { m_zoneAtDeath = getZone(); }

private:
    int& m_zoneAtDeath;
};

TEST(JSAPIImpl, AGuardKeepsItsObjectAliveUntilTheZoneIsPopped) {
    int zoneAtDeath = -1;
    FB::JSAPIPtr object = boost::make_shared<Mortal>(zoneAtDeath);
    auto guard = std::make_unique<FB::scoped_zonelock>(object, 8);
    object.reset();
    EXPECT_EQ(zoneAtDeath, -1);
    guard.reset();
    EXPECT_EQ(zoneAtDeath, 0);
}

TEST(JSAPIImpl, InvalidationIsFinalAndLeavesZonesWorking) {
    ZoneObject object;
    object.invalidate();
    EXPECT_NO_THROW(object.invalidate());
    EXPECT_FALSE(object.valid());
    object.pushZone(1);
    EXPECT_EQ(object.getZone(), 1);
    object.popZone();
}

TEST(JSAPIImpl, SharedFromThisIsTheOwningPointer) {
    const boost::shared_ptr<ZoneObject> object = boost::make_shared<ZoneObject>();
    EXPECT_EQ(object->shared_from_this(), object);
}

} // namespace
