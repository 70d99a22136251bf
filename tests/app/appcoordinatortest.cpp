// The composition root: what it made stops before the parts it calls go.
#include "shellfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using AppCoordinatorTest = test::ShellFixture;

TEST_F(AppCoordinatorTest, KeysAfterTheCoordinatorIsGoneReachTheApplication) {
    std::shared_ptr<FakeKeyTap> tap = tapBackend->lastTap();
    coordinator.reset();
    TapEvent event;
    event.characters = ";";
    EXPECT_FALSE(tap->deliver(event).value_or(false));
    EXPECT_TRUE(tap->wasStopped());
}

} // namespace
} // namespace korvane
