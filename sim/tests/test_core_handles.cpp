// The handle registry: lookups by kind and generation, releases, and use
// from many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/handles.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

struct Tagged : Object {
    explicit Tagged(int v, std::atomic<int>* alive = nullptr) : value(v), alive_(alive) {
        if (alive_) ++*alive_;
    }
    ~Tagged() override {
        if (alive_) --*alive_;
    }
    int value;
    std::atomic<int>* alive_;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

TEST_F(Registry, ZeroAndUnknownHandlesNameNothing) {
    EXPECT_EQ(FindObject(Kind::Image, Words{}), nullptr);
    EXPECT_EQ(RemoveObject(Kind::Image, Words{}), nullptr);
    // Generation 0 is never handed out; a slot index far beyond any slot.
    Words w = RegisterObject(Kind::Image, std::make_shared<Tagged>(1));
    EXPECT_EQ(FindObject(Kind::Image, Words{w.a, 0}), nullptr);
    EXPECT_EQ(FindObject(Kind::Image, Words{0xFFFFFFF0u, 1}), nullptr);
    EXPECT_EQ(FindObject(Kind::Image, Words{w.a, w.b + 1}), nullptr);
    EXPECT_EQ(RegisterObject(Kind::Image, nullptr).a, 0u);
}

TEST_F(Registry, LookupChecksTheKind) {
    Words w = RegisterObject(Kind::PointMap, std::make_shared<Tagged>(7));
    ASSERT_FALSE(w.IsZero());
    auto found = Find<Tagged>(Kind::PointMap, w);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->value, 7);
    for (Kind other : {Kind::Device, Kind::Image, Kind::DepthMap, Kind::Mesh, Kind::X1, Kind::X2}) {
        EXPECT_EQ(FindObject(other, w), nullptr) << KindName(other);
        EXPECT_EQ(RemoveObject(other, w), nullptr) << KindName(other);
    }
    EXPECT_NE(FindObject(Kind::PointMap, w), nullptr);  // a foreign-kind removal left it alone
}

TEST_F(Registry, ReleasedHandleIsNeverRevivedBySlotReuse) {
    std::size_t base = LiveObjectCount();
    Words first = RegisterObject(Kind::Mesh, std::make_shared<Tagged>(1));
    ASSERT_NE(RemoveObject(Kind::Mesh, first), nullptr);
    EXPECT_EQ(RemoveObject(Kind::Mesh, first), nullptr);  // second release: nothing
    EXPECT_EQ(LiveObjectCount(), base);
    // Register until the slot comes back; its generation must differ.
    bool reused = false;
    std::vector<Words> later;
    for (int i = 0; i < 64 && !reused; ++i) {
        Words w = RegisterObject(Kind::Mesh, std::make_shared<Tagged>(100 + i));
        later.push_back(w);
        if (w.a == first.a) {
            reused = true;
            EXPECT_NE(w.b, first.b);
        }
    }
    EXPECT_TRUE(reused);
    EXPECT_EQ(FindObject(Kind::Mesh, first), nullptr);
}

TEST_F(Registry, SlotRetiresWhenItsGenerationsRunOut) {
    Words w = RegisterObject(Kind::Image, std::make_shared<Tagged>(1));
    Words last = testing::SetGenerationForTest(w, 0xFFFFFFFFu);
    ASSERT_EQ(last.a, w.a);
    EXPECT_EQ(FindObject(Kind::Image, w), nullptr);
    ASSERT_NE(FindObject(Kind::Image, last), nullptr);
    ASSERT_NE(RemoveObject(Kind::Image, last), nullptr);
    // The slot is never handed out again, so no handle can wrap to an old one.
    for (int i = 0; i < 200; ++i) {
        Words n = RegisterObject(Kind::Image, std::make_shared<Tagged>(i));
        ASSERT_NE(n.a, w.a);
    }
}

TEST_F(Registry, LookupKeepsObjectAliveAcrossRemoval) {
    std::atomic<int> alive{0};
    Words w = RegisterObject(Kind::X1, std::make_shared<Tagged>(5, &alive));
    auto held = Find<Tagged>(Kind::X1, w);
    RemoveObject(Kind::X1, w);
    EXPECT_EQ(alive.load(), 1);
    EXPECT_EQ(held->value, 5);
    held.reset();
    EXPECT_EQ(alive.load(), 0);
}

TEST_F(Registry, ClearReleasesEverything) {
    std::atomic<int> alive{0};
    std::vector<Words> words;
    for (int i = 0; i < 50; ++i) {
        words.push_back(RegisterObject(Kind::DepthMap, std::make_shared<Tagged>(i, &alive)));
    }
    EXPECT_EQ(alive.load(), 50);
    ClearObjects();
    EXPECT_EQ(alive.load(), 0);
    EXPECT_EQ(LiveObjectCount(), 0u);
    for (Words w : words) EXPECT_EQ(FindObject(Kind::DepthMap, w), nullptr);
}

// Eight threads register, look up and remove at once; each checks that it
// always sees its own objects and never another thread's under its handles.
TEST(RegistryThreads, ConcurrentRegisterLookupRemove) {
    Reset();
    constexpr int kThreads = 8;
    constexpr int kRounds = 3000;
    std::atomic<int> alive{0};
    std::atomic<int> errors{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &alive, &errors] {
            std::mt19937 rng(static_cast<unsigned>(t));
            std::vector<std::pair<Words, int>> mine;
            std::vector<Words> released;
            for (int i = 0; i < kRounds; ++i) {
                int value = t * kRounds + i;
                Words w = RegisterObject(Kind::Image, std::make_shared<Tagged>(value, &alive));
                if (w.IsZero()) ++errors;
                mine.emplace_back(w, value);
                auto [pw, pv] = mine[rng() % mine.size()];
                auto found = Find<Tagged>(Kind::Image, pw);
                if (!found || found->value != pv) ++errors;
                if (FindObject(Kind::Mesh, pw)) ++errors;
                if (rng() % 2) {
                    std::size_t k = rng() % mine.size();
                    if (!RemoveObject(Kind::Image, mine[k].first)) ++errors;
                    released.push_back(mine[k].first);
                    mine.erase(mine.begin() + static_cast<long>(k));
                }
                if (!released.empty() && FindObject(Kind::Image, released[rng() % released.size()])) {
                    ++errors;
                }
            }
            for (auto& [w, v] : mine) RemoveObject(Kind::Image, w);
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(alive.load(), 0);
    EXPECT_EQ(LiveObjectCount(), 0u);
}

// Several threads race to remove the same handles: each is released once.
TEST(RegistryThreads, EachHandleIsReleasedExactlyOnce) {
    Reset();
    constexpr int kObjects = 2000;
    std::vector<Words> words;
    for (int i = 0; i < kObjects; ++i) words.push_back(RegisterObject(Kind::Mesh, std::make_shared<Tagged>(i)));
    std::atomic<int> removed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (Words w : words) {
                if (RemoveObject(Kind::Mesh, w)) ++removed;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(removed.load(), kObjects);
    EXPECT_EQ(LiveObjectCount(), 0u);
    std::set<uint64_t> fresh;
    for (int i = 0; i < 100; ++i) {
        Words w = RegisterObject(Kind::Mesh, std::make_shared<Tagged>(i));
        fresh.insert((uint64_t{w.a} << 32) | w.b);
    }
    for (Words w : words) EXPECT_EQ(fresh.count((uint64_t{w.a} << 32) | w.b), 0u);
    ClearObjects();
}

// A clear (system shut-down) racing with lookups and removals frees every
// object once and leaves no handle usable.
TEST(RegistryThreads, ClearRacingWithUse) {
    Reset();
    std::atomic<int> alive{0};
    std::vector<Words> words;
    for (int i = 0; i < 4000; ++i) {
        words.push_back(RegisterObject(Kind::X2, std::make_shared<Tagged>(i, &alive)));
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = static_cast<std::size_t>(t); i < words.size(); i += 8) {
                if (auto o = Find<Tagged>(Kind::X2, words[i]); o && o->value != static_cast<int>(i)) ++wrong;
                if (i % 3 == 0) RemoveObject(Kind::X2, words[i]);
            }
        });
    }
    ClearObjects();
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(alive.load(), 0);
    for (Words w : words) EXPECT_EQ(FindObject(Kind::X2, w), nullptr);
}

}  // namespace
}  // namespace vyxsim
