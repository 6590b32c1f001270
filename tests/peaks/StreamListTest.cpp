#include <gtest/gtest.h>
#include <thread>

#include "peaks/StreamList.h"

namespace kx {

TEST(StreamList, countsFilledStreamsAndHandsOutByIndex)
{
    TStreamList list;
    list.Add(std::make_unique<TMemoryStream>());
    list.Add(std::make_unique<TMemoryStream>());
    list.Get(1)->SetSize(10);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FilledCount(), 1);
    EXPECT_EQ(list.Get(2), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    TMemoryStream* first = list.Get(0);
    list.Remove(first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->Size(), 10);
    list.DeleteLast();
    EXPECT_EQ(list.Count(), 0);
    list.DeleteLast();  // harmless when empty
    list.Append(0, "x", 1);  // no stream: nothing happens
}

TEST(StreamList, appendsFromAnotherThreadAreWholeBlocks)
{
    TStreamList list;
    list.Add(std::make_unique<TMemoryStream>());
    const std::vector<uint8_t> a(64, 'a'), b(64, 'b');
    std::thread t1([&] { for (int i = 0; i < 500; ++i) list.Append(0, a.data(), 64); });
    std::thread t2([&] { for (int i = 0; i < 500; ++i) list.Append(0, b.data(), 64); });
    t1.join();
    t2.join();
    const auto bytes = list.Get(0)->Bytes();
    ASSERT_EQ(bytes.size(), 64000u);
    for (size_t block = 0; block < 1000; ++block)
        for (size_t i = 1; i < 64; ++i)
            ASSERT_EQ(bytes[block * 64 + i], bytes[block * 64]) << "interleaved block " << block;
}

} // namespace kx
