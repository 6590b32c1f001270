#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

#include "platform/EnumSet.h"
#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "platform/Round.h"

namespace kx {

TEST(Round, halvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(2.4999), 2);
    EXPECT_EQ(Round(1e12 + 0.6), 1000000000001);
}

TEST(Exception, assertionNamesUnitAndLine)
{
    try {
        KX_ASSERT(1 + 1 == 3, "KXPeakBuilder");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Assertion failure (KXPeakBuilder, line %1)").arg(__LINE__ - 3));
    }
    EXPECT_NO_THROW(KX_ASSERT(true, "Unit1"));
}

TEST(EnumSet, ordinalsAreBits)
{
    enum E { a, b, c, d };
    EnumSet<E> s{b, d};
    EXPECT_EQ(s.Bits(), 0b1010u);
    EXPECT_TRUE(s.Contains(b));
    EXPECT_FALSE(s.Contains(c));
    s.Exclude(b);
    EXPECT_EQ(s, EnumSet<E>{d});
}

TEST(MemoryStream, readsStopAtTheEndAndWritesGrow)
{
    TMemoryStream s;
    const char text[] = "abcdef";
    EXPECT_EQ(s.Write(text, 6), 6);
    EXPECT_EQ(s.Size(), 6);
    EXPECT_EQ(s.Position(), 6);
    s.SetPosition(4);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.SetPosition(10);  // past the end: a write fills the gap with zeros
    s.Write("z", 1);
    EXPECT_EQ(s.Size(), 11);
    EXPECT_EQ(s.Bytes()[7], 0);
}

TEST(MemoryStream, shrinkingMovesThePositionToTheNewEnd)
{
    TMemoryStream s;
    s.SetSize(100);
    EXPECT_EQ(s.Position(), 0);
    s.SetPosition(80);
    s.SetSize(50);
    EXPECT_EQ(s.Position(), 50);
    s.SetSize(200);
    EXPECT_EQ(s.Position(), 50);
    EXPECT_EQ(s.Bytes()[199], 0);
}

TEST(MemoryStream, fileRoundTripAndMissingFile)
{
    TMemoryStream s;
    s.Write("PEAK", 4);
    const QString path = QString::fromLatin1(KX_TEST_BINARY_DIR) + "/stream-roundtrip.bin";
    ASSERT_TRUE(s.SaveToFile(path));
    TMemoryStream t;
    ASSERT_TRUE(t.LoadFromFile(path));
    EXPECT_EQ(t.Size(), 4);
    t.Write("x", 1);
    EXPECT_FALSE(t.LoadFromFile(path + ".missing"));
    EXPECT_EQ(t.Size(), 4);  // a failed load keeps the content
    EXPECT_EQ(t.Bytes()[0], 'x');
}

TEST(MemoryStream, appendsGoToTheEndWhereverTheReaderIs)
{
    TMemoryStream s;
    ASSERT_TRUE(s.Append("abcd", 4));
    EXPECT_EQ(s.Position(), 0);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 2), 2);
    ASSERT_TRUE(s.Append("ef", 2));
    EXPECT_EQ(s.Position(), 2);
    EXPECT_EQ(s.Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    // Overwriting in place, never past the end, and copies clipped to it.
    EXPECT_TRUE(s.WriteAt(1, "XY", 2));
    EXPECT_FALSE(s.WriteAt(5, "XY", 2));
    const std::vector<uint8_t> copy = s.Copy(1, 100);
    EXPECT_EQ(std::string(copy.begin(), copy.end()), "XYdef");
    EXPECT_TRUE(s.Copy(7, 9).empty());
    // Room reserved is not size, and goes back on Trim.
    ASSERT_TRUE(s.Reserve(1 << 20));
    EXPECT_EQ(s.Size(), 6);
    s.Trim();
    EXPECT_EQ(s.Size(), 6);
}

TEST(MemoryStream, anAppendThatCannotGrowWritesNothing)
{
    TMemoryStream s;
    ASSERT_TRUE(s.Append("abcd", 4));
    const char byte = 'x';
    // More than a stream can hold: refused before anything is asked of the
    // allocator, and the stream is as it was.
    EXPECT_FALSE(s.Append(&byte, INT64_MAX));
    EXPECT_FALSE(s.Append(&byte, INT64_MAX - 3));
    EXPECT_EQ(s.Size(), 4);
    ASSERT_TRUE(s.Append("e", 1));
    EXPECT_EQ(s.Copy(0, 5), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}));
}

TEST(MemoryStream, aReaderBesideAnAppendingThreadSeesWholeBlocksInOrder)
{
    // Blocks of 8 bytes numbered in order, appended on another thread while
    // this one reads the whole stream again and again from its start.
    TMemoryStream s;
    constexpr int blocks = 20000;
    std::thread writer([&s] {
        for (uint32_t i = 0; i < blocks; ++i) {
            const uint32_t block[2] = {i, ~i};
            ASSERT_TRUE(s.Append(block, sizeof block));
        }
    });
    int64_t last = 0;
    while (last < blocks * 8) {
        s.SetPosition(0);
        const int64_t size = s.Size();
        std::vector<uint32_t> words(size_t(size / 4));
        ASSERT_EQ(s.Read(words.data(), size), size);
        ASSERT_EQ(size % 8, 0);
        ASSERT_GE(size, last);
        for (size_t i = 0; i < words.size(); i += 2) {
            ASSERT_EQ(words[i], uint32_t(i / 2));
            ASSERT_EQ(words[i + 1], ~uint32_t(i / 2));
        }
        last = size;
    }
    writer.join();
}

} // namespace kx
