#include <gtest/gtest.h>

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

} // namespace kx
