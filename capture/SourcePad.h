// A source element's output pad, for the capture pipeline and the format dialog. Internal to
// the capture subsystem.
#ifndef KOVRA_CAPTURE_SOURCEPAD_H
#define KOVRA_CAPTURE_SOURCEPAD_H

#include <gst/gst.h>

#include "GstHandles.h"

// The source's "src" pad, or else its first source pad; empty when it has none.
inline PadPtr SourcePad(GstElement* source)
{
    if (GstPad* pad = gst_element_get_static_pad(source, "src")) return PadPtr(pad);
    GstIterator* pads = gst_element_iterate_src_pads(source);
    GValue item = G_VALUE_INIT;
    PadPtr found;
    if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        found.reset(GST_PAD(gst_object_ref(g_value_get_object(&item))));
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    return found;
}

#endif
