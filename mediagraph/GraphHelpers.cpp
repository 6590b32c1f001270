#include "GraphHelpers.h"

#include <gst/gst.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "GstPtr.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"

namespace kx {

MajorType MajorTypeOfCaps(const GstCaps* caps)
{
    if (!caps || gst_caps_is_any(caps) || gst_caps_is_empty(caps))
        return MajorType::Stream;
    const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    if (g_str_has_prefix(name, "audio/"))
        return MajorType::Audio;
    if (g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/"))
        return MajorType::Video;
    return MajorType::Stream;
}

bool HasProperty(GstElement* element, const char* name)
{
    return element && g_object_class_find_property(G_OBJECT_GET_CLASS(element), name);
}

bool PadCarriesAudio(GstPad* pad)
{
    GstCapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    return caps && MajorTypeOfCaps(caps.get()) == MajorType::Audio;
}

namespace {

bool PadOffers(GstPad* pad, MajorType major)
{
    if (major == MajorType::Null)
        return true;
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    if (!caps)
        return false;
    if (gst_caps_is_any(caps.get()))
        return major == MajorType::Stream;
    for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
        GstCapsPtr one(gst_caps_copy_nth(caps.get(), i));
        if (MajorTypeOfCaps(one.get()) == major)
            return true;
    }
    return false;
}

} // namespace

GstPad* FindPin(GstElement* filter, PinDirection direction, MajorType major)
{
    KX_ASSERT(filter != nullptr, "KXCommonPlayer");
    const GstPadDirection wanted = direction == PINDIR_INPUT ? GST_PAD_SINK : GST_PAD_SRC;
    GstPad* found = nullptr;
    GstIterator* it = gst_element_iterate_pads(filter);
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done && !found) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK: {
            auto* pad = GST_PAD(g_value_get_object(&item));
            if (GST_PAD_DIRECTION(pad) == wanted && PadOffers(pad, major))
                found = GST_PAD(gst_object_ref(pad));
            g_value_reset(&item);
            break;
        }
        case GST_ITERATOR_RESYNC:
            gst_iterator_resync(it);
            break;
        default:
            done = true;
            break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

bool FolderWritable(const QString& path)
{
    QString folder = path;
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    folder = slash == 0 ? QStringLiteral("/") : folder.left(slash);
    const QByteArray native = EncodeNativeName(folder);
    struct stat st {};
    if (stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    struct statvfs vfs {};
    if (statvfs(native.constData(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY))
        return false;
    return access(native.constData(), W_OK) == 0;
}

} // namespace kx
