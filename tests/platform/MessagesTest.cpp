#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

#include "platform/GraphRegistry.h"
#include "platform/PostedEvent.h"

namespace kx {

TEST(MessageWindow, postsFromAnyThreadArriveOnTheGuiThreadInOrder)
{
    std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> got;
    Qt::HANDLE guiThread = QThread::currentThreadId();
    bool onGui = true;
    MessageWindow w([&](uint32_t m, uintptr_t wp, intptr_t lp) {
        onGui = onGui && QThread::currentThreadId() == guiThread;
        got.emplace_back(m, wp, lp);
    });
    std::thread t([&] {
        w.Post(WM_USER + 1, 7, -1);
        w.Post(WM_APP + 1, 0, 0);
    });
    t.join();
    EXPECT_TRUE(got.empty());  // posting never runs the handler at once
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), size_t(2), 5000);
    EXPECT_TRUE(onGui);
    EXPECT_EQ(got[0], std::make_tuple(1025u, uintptr_t(7), intptr_t(-1)));
    EXPECT_EQ(std::get<0>(got[1]), 0x8001u);
}

TEST(GraphRegistry, itemNameFormat)
{
    const void* p = reinterpret_cast<const void*>(uintptr_t(0xABCDEF12));
    const QString name = FilterGraphItemName(p, 0x1F2A);
    EXPECT_TRUE(name.startsWith(QStringLiteral("FilterGraph ")));
    EXPECT_TRUE(name.endsWith(QStringLiteral("ABCDEF12 pid 1F2A"))) << name.toStdString();
    EXPECT_EQ(FilterGraphItemName(p, 0x10), name.left(name.size() - 4) + QStringLiteral("10"));
}

TEST(GraphRegistry, registerThenRevokeLeavesTheTableAsBefore)
{
    const QStringList before = GraphRegistry::Names();
    const QString name = QStringLiteral("FilterGraph test pid 1");
    const uint32_t cookie = GraphRegistry::Register(name, [] { return QByteArray("digraph {}"); });
    ASSERT_NE(cookie, 0u);
    EXPECT_TRUE(GraphRegistry::Contains(name));
    EXPECT_EQ(GraphRegistry::Register(name), 0u);  // one entry per name
    const QString dump = GraphRegistry::DumpFolder() + "/FilterGraph_test_pid_1.dot";
    EXPECT_TRUE(QFile::exists(dump));
    GraphRegistry::Revoke(cookie);
    GraphRegistry::Revoke(cookie);  // twice is harmless
    EXPECT_EQ(GraphRegistry::Names(), before);
    EXPECT_FALSE(QFile::exists(dump));
}

} // namespace kx
