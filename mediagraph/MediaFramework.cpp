#include "MediaFramework.h"

#include <gst/gst.h>

#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

#include "CodecConfig.h"
#include "platform/GraphRegistry.h"
#include "platform/Logging.h"

namespace kx {

namespace {

// The folder of the library or program that holds this code.
QString OwnFolder()
{
    Dl_info info {};
    if (dladdr(reinterpret_cast<void*>(&InitMediaFramework), &info) == 0 || !info.dli_fname)
        return {};
    QString path = QFile::decodeName(info.dli_fname);
    // A program is named as it was started, which may be relative.
    if (!path.startsWith(QLatin1Char('/')))
        path = QStringLiteral("/proc/self/exe");
    return QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath();
}

// Makes GStreamer find the peak filter plugin: installed beside this
// library's folder (or a program's bin/ or libexec/kxaudio/), or in the
// build tree this was built in. GST_PLUGIN_PATH works as ever.
void AddPluginFolders()
{
    // Found already, and loadable (a plugin GStreamer's scanner helper could
    // not load, such as an instrumented build's, is listed without it).
    if (GstPluginFeature* known = gst_registry_lookup_feature(gst_registry_get(), "kxpeaksink")) {
        gst_object_unref(known);
        return;
    }
    const QString own = OwnFolder();
    if (own.isEmpty())
        return;
    const QString libdir = QStringLiteral(KX_INSTALL_LIBDIR);
    QStringList candidates = {own + QStringLiteral("/gstreamer-1.0"),
                              own + QStringLiteral("/../") + libdir + QStringLiteral("/gstreamer-1.0"),
                              own + QStringLiteral("/../../") + libdir + QStringLiteral("/gstreamer-1.0")};
    if (own.startsWith(QStringLiteral(KX_BUILD_TREE "/")))
        candidates.prepend(QStringLiteral(KX_PLUGIN_BUILD_DIR));
    for (const QString& folder : candidates) {
        const QFileInfo plugin(folder + QStringLiteral("/libgstkxpeaks.so"));
        if (!plugin.isFile())
            continue;
        qCDebug(lcMediaGraph) << "peak filter plugin" << plugin.absoluteFilePath();
        // Loaded in this process, which also puts it in the registry.
        GError* error = nullptr;
        if (GstPlugin* loaded = gst_plugin_load_file(QFile::encodeName(plugin.absoluteFilePath()).constData(), &error)) {
            gst_object_unref(loaded);
            return;
        }
        qCWarning(lcMediaGraph) << "the peak filter plugin" << plugin.absoluteFilePath()
                                << "cannot be loaded:" << (error ? error->message : "");
        g_clear_error(&error);
    }
    qCWarning(lcMediaGraph) << "no peak filter plugin (libgstkxpeaks.so) beside" << own
                            << "; set GST_PLUGIN_PATH to its folder";
}

} // namespace

void InitMediaFramework()
{
    if (!CodecConfig::Loaded())
        CodecConfig::Load();
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    static std::once_flag once;
    std::call_once(once, [] {
        AddPluginFolders();
        ApplyDecoderRanks();
    });
}

bool FeatureRankedIn(const QString& setting, const QString& feature)
{
    // "name:rank,name:rank", as GStreamer reads it.
    for (const QString& item : setting.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (item.section(QLatin1Char(':'), 0, 0).trimmed() == feature)
            return true;
    return false;
}

bool UserRanksFeature(const QString& feature)
{
    return FeatureRankedIn(qEnvironmentVariable("GST_PLUGIN_FEATURE_RANK"), feature);
}

bool UserRanksMp3Decoders()
{
    for (const char* f : {"mpg123audiodec", "avdec_mp3", "avdec_mp2float", "avdec_mp1float"})
        if (UserRanksFeature(QLatin1String(f)))
            return true;
    return false;
}

void ApplyDecoderRanks()
{
    // Automatic plugging ties the MP3 decoders on rank and picks the slower
    // one by name; the mpg123 decoder is about a quarter faster. A rank the
    // user set for any of them stands.
    if (UserRanksMp3Decoders())
        return;
    if (GstPluginFeature* mpg123 = gst_registry_lookup_feature(gst_registry_get(), "mpg123audiodec")) {
        gst_plugin_feature_set_rank(mpg123, GST_RANK_PRIMARY + 1);
        gst_object_unref(mpg123);
    }
}

void ShutdownMediaFramework()
{
    CodecConfig::Unload();
}

void RegisterGraph(GstElement* graph, bool doRegister, uint32_t& cookie)
{
    if (!graph)
        return;
    if (!doRegister) {
        GraphRegistry::Revoke(cookie);
        return;
    }
    const QString name = FilterGraphItemName(graph, static_cast<uint32_t>(getpid()));
    // The weak reference lets a dump of a graph that is gone come out empty.
    GWeakRef* weak = g_new0(GWeakRef, 1);
    g_weak_ref_init(weak, graph);
    auto ref = std::shared_ptr<GWeakRef>(weak, [](GWeakRef* w) {
        g_weak_ref_clear(w);
        g_free(w);
    });
    const uint32_t c = GraphRegistry::Register(name, [ref]() -> QByteArray {
        auto* bin = static_cast<GstElement*>(g_weak_ref_get(ref.get()));
        if (!bin)
            return {};
        QByteArray dot;
        if (GST_IS_BIN(bin)) {
            gchar* text = gst_debug_bin_to_dot_data(GST_BIN(bin), GST_DEBUG_GRAPH_SHOW_ALL);
            dot = QByteArray(text);
            g_free(text);
        }
        gst_object_unref(bin);
        return dot;
    });
    if (c != 0) {
        cookie = c;
        qCDebug(lcMediaGraph) << "graph" << name << "dumped into" << GraphRegistry::DumpFolder();
    }
}

int VersionClassOf(const QString& release)
{
    const QStringList parts = release.split(QLatin1Char('.'));
    const int major = parts.value(0).toInt();
    const int minor = parts.size() > 1 ? parts[1].section(QLatin1Char('-'), 0, 0).toInt() : 0;
    if (major >= 4)
        return 3;
    if (major == 3)
        return 2;
    if (major == 2 && minor == 6)
        return 1;
    return 0;
}

int VersionClass()
{
    utsname u{};
    if (uname(&u) != 0)
        return 0;
    return VersionClassOf(QString::fromLatin1(u.release));
}

bool MediaFrameworkPresent()
{
    InitMediaFramework();
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    if (major < 1 || (major == 1 && minor < 22))
        return false;
    for (const char* name : {"playbin", "decodebin", "audioconvert", "filesrc"}) {
        GstElementFactory* f = gst_element_factory_find(name);
        if (!f)
            return false;
        gst_object_unref(f);
    }
    return true;
}

} // namespace kx
