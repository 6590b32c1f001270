#include "FilterRegistry.h"

#include <gst/gst.h>

#include <QMutex>
#include <map>

namespace kx {

namespace {

struct Registry {
    QMutex mutex;
    std::map<QString, FilterRegistry::Factory> factories;
};

Registry& TheRegistry()
{
    static Registry r;
    return r;
}

QString Key(const QString& classId)
{
    QString k = classId.trimmed().toUpper();
    if (k.startsWith(QLatin1Char('{')))
        k.remove(0, 1);
    if (k.endsWith(QLatin1Char('}')))
        k.chop(1);
    return k;
}

} // namespace

namespace FilterRegistry {

void Register(const QString& classId, Factory factory)
{
    Registry& r = TheRegistry();
    QMutexLocker lock(&r.mutex);
    r.factories[Key(classId)] = std::move(factory);
}

void Unregister(const QString& classId)
{
    Registry& r = TheRegistry();
    QMutexLocker lock(&r.mutex);
    r.factories.erase(Key(classId));
}

bool Registered(const QString& classId)
{
    Registry& r = TheRegistry();
    QMutexLocker lock(&r.mutex);
    return r.factories.count(Key(classId)) != 0;
}

} // namespace FilterRegistry

GstElement* CreateFilter(const QString& classId, const QString& label)
{
    FilterRegistry::Factory factory;
    {
        Registry& r = TheRegistry();
        QMutexLocker lock(&r.mutex);
        auto it = r.factories.find(Key(classId));
        if (it == r.factories.end())
            return nullptr;
        factory = it->second;
    }
    try {
        GstElement* e = factory(label);
        if (e && g_object_is_floating(e))
            gst_object_ref_sink(e);
        return e;
    } catch (...) {
        return nullptr;
    }
}

} // namespace kx
