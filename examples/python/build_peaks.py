#!/usr/bin/env python3
"""Builds the peak file of a media file with the kxpeaksink GStreamer element
and prints its progress messages.

    build_peaks.py MEDIA PEAKFILE

The element comes from the kxpeaks plugin: installed under /usr it is found
as it is; from another prefix or a build tree, point GST_PLUGIN_PATH at the
folder that holds libgstkxpeaks.so.
"""
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    media, peaks = argv[1], argv[2]
    Gst.init(None)
    if Gst.ElementFactory.find("kxpeaksink") is None:
        print("build_peaks.py: no kxpeaksink element; set GST_PLUGIN_PATH", file=sys.stderr)
        return 1
    pipeline = Gst.Pipeline.new("peaks")
    source = Gst.ElementFactory.make("filesrc")
    decode = Gst.ElementFactory.make("decodebin")
    convert = Gst.ElementFactory.make("audioconvert")
    resample = Gst.ElementFactory.make("audioresample")
    sink = Gst.ElementFactory.make("kxpeaksink")
    source.set_property("location", media)
    sink.set_property("location", peaks)
    # The media file is an input: the peak file never replaces it.
    sink.set_property("inputs", [media])
    for element in (source, decode, convert, resample, sink):
        pipeline.add(element)
    source.link(decode)
    convert.link(resample)
    resample.link(sink)

    def on_pad(_decode, pad):
        if pad.query_caps(None).to_string().startswith("audio/"):
            pad.link(convert.get_static_pad("sink"))

    decode.connect("pad-added", on_pad)
    bus = pipeline.get_bus()
    pipeline.set_state(Gst.State.PLAYING)
    status = 1
    while True:
        message = bus.timed_pop_filtered(
            10 * Gst.SECOND, Gst.MessageType.ELEMENT | Gst.MessageType.EOS | Gst.MessageType.ERROR)
        if message is None:
            print("build_peaks.py: no progress for 10 s", file=sys.stderr)
            break
        if message.type == Gst.MessageType.ELEMENT:
            s = message.get_structure()
            if s.get_name() == "kxpeaks":
                print("progress records=%d time=%.3f done=%s" % (
                    s.get_value("records"), s.get_value("stream-time") / Gst.SECOND, s.get_value("done")))
        elif message.type == Gst.MessageType.ERROR:
            error, _debug = message.parse_error()
            print("build_peaks.py: %s" % error.message, file=sys.stderr)
            break
        else:
            status = 0
            break
    pipeline.set_state(Gst.State.NULL)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
