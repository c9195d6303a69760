// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over of prepared state: a snapshot is freed only once no block can hold it, a
// reader between blocks holds nothing, and a block always starts with the latest one.
#include "engine/SnapshotExchange.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {
// Records which values are still alive.
struct Tracked
{
    Tracked(int value, std::set<int> &alive)
        : value(value), alive(&alive)
    {
        alive.insert(value);
    }
    Tracked(const Tracked &) = delete;
    Tracked &operator=(const Tracked &) = delete;
    ~Tracked() { alive->erase(value); }

    int value;
    std::set<int> *alive;
};
} // namespace

TEST(SnapshotExchange, FreesASnapshotOnlyOnceNoBlockHoldsIt)
{
    std::set<int> alive;
    {
        SnapshotExchange<std::unique_ptr<Tracked>> exchange(std::make_unique<Tracked>(1, alive));
        const auto &held = exchange.acquire();
        EXPECT_EQ(held->value, 1);

        exchange.publish(std::make_unique<Tracked>(2, alive));
        exchange.publish(std::make_unique<Tracked>(3, alive));
        EXPECT_FALSE(exchange.released()) << "a block still reads snapshot 1";
        EXPECT_FALSE(exchange.adoptedLatest());
        EXPECT_EQ(alive, (std::set<int>{1, 2, 3}));
        EXPECT_EQ(held->value, 1);

        exchange.release();
        EXPECT_TRUE(exchange.released());
        exchange.collect();
        EXPECT_EQ(alive, (std::set<int>{3})) << "between blocks the reader holds nothing";

        // A block that has taken the latest lets the older ones go even while it runs.
        exchange.publish(std::make_unique<Tracked>(4, alive));
        EXPECT_EQ(exchange.acquire()->value, 4);
        exchange.publish(std::make_unique<Tracked>(5, alive));
        EXPECT_EQ(alive, (std::set<int>{4, 5})) << "3 is behind the running block";
        EXPECT_FALSE(exchange.waitReleased(std::chrono::milliseconds(5)));
        exchange.release();
        EXPECT_EQ(exchange.acquire()->value, 5);
        EXPECT_TRUE(exchange.adoptedLatest());
        exchange.release();
        EXPECT_EQ(exchange.latest()->value, 5);
    }
    EXPECT_TRUE(alive.empty());
}
