// The discovery of a running source's controls: V4L2 controls through a second handle on
// the device node, colour balance channels, or a test source's own properties.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gst/video/colorbalance.h>
#include <cerrno>
#include <cstring>
#include <memory>

#include "FilterControls.h"

namespace {

using ElementRef = std::shared_ptr<GstElement>;

ElementRef Ref(GstElement* element)
{
    return ElementRef(GST_ELEMENT(gst_object_ref(element)),
                      [](GstElement* e) { gst_object_unref(e); });
}

// ---- V4L2 controls, through a second handle on the device node ----

struct DeviceHandle {
    explicit DeviceHandle(int descriptor) : fd(descriptor) {}
    ~DeviceHandle() { close(fd); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    const int fd;
};

int Ioctl(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

std::string Text(const __u8* name, size_t size)
{
    const char* text = reinterpret_cast<const char*>(name);
    return std::string(text, strnlen(text, size));
}

std::shared_ptr<DeviceHandle> OpenVideoDevice(GstElement* source)
{
    GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "device");
    if (!param || param->value_type != G_TYPE_STRING || !(param->flags & G_PARAM_READABLE)) {
        return nullptr;
    }
    gchar* path = nullptr;
    g_object_get(source, "device", &path, nullptr);
    const bool isNode = path && g_str_has_prefix(path, "/dev/");
    // Several handles on one device are allowed; controls set through this one act on the
    // stream the source has open, and leave its streaming thread alone.
    const int fd = isNode ? open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC) : -1;
    g_free(path);
    if (fd < 0) return nullptr;
    auto device = std::make_shared<DeviceHandle>(fd);
    v4l2_capability capability{};
    if (Ioctl(fd, VIDIOC_QUERYCAP, &capability) != 0) return nullptr;
    return device;
}

std::vector<SourceControl> V4l2Controls(GstElement* source)
{
    std::vector<SourceControl> controls;
    std::shared_ptr<DeviceHandle> device = OpenVideoDevice(source);
    if (!device) return controls;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    for (; Ioctl(device->fd, VIDIOC_QUERYCTRL, &query) == 0; query.id |= V4L2_CTRL_FLAG_NEXT_CTRL) {
        if (query.flags &
            (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY)) {
            continue;
        }
        SourceControl control;
        control.label = Text(query.name, sizeof query.name);
        control.id = control.label;
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = query.step > 0 ? query.step : 1;
        switch (query.type) {
            case V4L2_CTRL_TYPE_INTEGER:
                control.kind = SourceControl::Kind::Integer;
                break;
            case V4L2_CTRL_TYPE_BOOLEAN:
                control.kind = SourceControl::Kind::Boolean;
                break;
            case V4L2_CTRL_TYPE_MENU:
            case V4L2_CTRL_TYPE_INTEGER_MENU:
                control.kind = SourceControl::Kind::Menu;
                for (int64_t index = query.minimum; index <= query.maximum; ++index) {
                    v4l2_querymenu item{};
                    item.id = query.id;
                    item.index = static_cast<__u32>(index);
                    // Menus may have gaps: an index the driver refuses is not offered.
                    if (Ioctl(device->fd, VIDIOC_QUERYMENU, &item) != 0) continue;
                    control.choices.emplace_back(index, query.type == V4L2_CTRL_TYPE_MENU
                                                            ? Text(item.name, sizeof item.name)
                                                            : std::to_string(item.value));
                }
                if (control.choices.empty()) continue;
                break;
            default:
                continue;  // buttons, strings, compound controls and class headers
        }
        v4l2_control current{};
        current.id = query.id;
        control.value =
            Ioctl(device->fd, VIDIOC_G_CTRL, &current) == 0 ? current.value : query.default_value;
        const __u32 id = query.id;
        control.set = [device, id](int64_t value) {
            v4l2_control change{};
            change.id = id;
            change.value = static_cast<__s32>(value);
            return Ioctl(device->fd, VIDIOC_S_CTRL, &change) == 0;
        };
        controls.push_back(std::move(control));
    }
    return controls;
}

// ---- Colour balance channels ----

std::vector<SourceControl> ColorBalanceControls(GstElement* source)
{
    std::vector<SourceControl> controls;
    if (!GST_IS_COLOR_BALANCE(source)) return controls;
    GstColorBalance* balance = GST_COLOR_BALANCE(source);
    for (const GList* node = gst_color_balance_list_channels(balance); node; node = node->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(node->data);
        SourceControl control;
        control.label = channel->label ? channel->label : "";
        control.id = control.label;
        control.minimum = channel->min_value;
        control.maximum = channel->max_value;
        control.value = gst_color_balance_get_value(balance, channel);
        std::shared_ptr<GstColorBalanceChannel> held(
            GST_COLOR_BALANCE_CHANNEL(g_object_ref(channel)),
            [](GstColorBalanceChannel* c) { g_object_unref(c); });
        ElementRef element = Ref(source);
        control.set = [element, held](int64_t value) {
            gst_color_balance_set_value(GST_COLOR_BALANCE(element.get()), held.get(),
                                        static_cast<gint>(value));
            return true;
        };
        controls.push_back(std::move(control));
    }
    return controls;
}

// ---- A test source's own properties ----

bool IsTestSource(GstElement* source)
{
    GstElementFactory* factory = gst_element_get_factory(source);
    return factory && g_strcmp0(GST_OBJECT_NAME(factory), "videotestsrc") == 0;
}

std::vector<SourceControl> PropertyControls(GstElement* source)
{
    std::vector<SourceControl> controls;
    if (!IsTestSource(source)) return controls;
    guint count = 0;
    GParamSpec** params = g_object_class_list_properties(G_OBJECT_GET_CLASS(source), &count);
    for (guint i = 0; i < count; ++i) {
        GParamSpec* param = params[i];
        const GParamFlags needed = GParamFlags(G_PARAM_READABLE | G_PARAM_WRITABLE);
        // Only the source's own properties: those of its base classes (block size, number of
        // buffers, timestamps) shape the stream, not the picture; and whether it paces
        // itself as a live source is part of how the pipeline was set up.
        if (param->owner_type != G_OBJECT_TYPE(source) || (param->flags & needed) != needed ||
            (param->flags & (G_PARAM_CONSTRUCT_ONLY | G_PARAM_DEPRECATED)) ||
            g_strcmp0(param->name, "is-live") == 0) {
            continue;
        }
        SourceControl control;
        control.id = param->name;
        control.label = g_param_spec_get_nick(param);
        GValue value = G_VALUE_INIT;
        g_value_init(&value, param->value_type);
        g_object_get_property(G_OBJECT(source), param->name, &value);
        bool usable = true;
        if (G_IS_PARAM_SPEC_ENUM(param)) {
            control.kind = SourceControl::Kind::Menu;
            GEnumClass* type = G_PARAM_SPEC_ENUM(param)->enum_class;
            for (guint k = 0; k < type->n_values; ++k) {
                control.choices.emplace_back(type->values[k].value, type->values[k].value_name);
            }
            control.value = g_value_get_enum(&value);
        } else if (G_IS_PARAM_SPEC_BOOLEAN(param)) {
            control.kind = SourceControl::Kind::Boolean;
            control.maximum = 1;
            control.value = g_value_get_boolean(&value) ? 1 : 0;
        } else if (G_IS_PARAM_SPEC_INT(param)) {
            control.minimum = G_PARAM_SPEC_INT(param)->minimum;
            control.maximum = G_PARAM_SPEC_INT(param)->maximum;
            control.value = g_value_get_int(&value);
        } else if (G_IS_PARAM_SPEC_UINT(param)) {
            control.minimum = G_PARAM_SPEC_UINT(param)->minimum;
            control.maximum = G_PARAM_SPEC_UINT(param)->maximum;
            control.value = g_value_get_uint(&value);
            // Colours are ARGB words over the whole unsigned range.
            if (g_str_has_suffix(param->name, "-color") && control.maximum == G_MAXUINT) {
                control.kind = SourceControl::Kind::Color;
            }
        } else {
            usable = false;  // 64-bit offsets, strings, objects
        }
        g_value_unset(&value);
        if (!usable) continue;

        ElementRef element = Ref(source);
        const std::string name = param->name;
        const GType type = param->value_type;
        control.set = [element, name, type](int64_t number) {
            GValue change = G_VALUE_INIT;
            g_value_init(&change, type);
            if (G_TYPE_IS_ENUM(type)) {
                g_value_set_enum(&change, static_cast<gint>(number));
            } else if (type == G_TYPE_BOOLEAN) {
                g_value_set_boolean(&change, number != 0);
            } else if (type == G_TYPE_INT) {
                g_value_set_int(&change, static_cast<gint>(number));
            } else {
                g_value_set_uint(&change, static_cast<guint>(number));
            }
            g_object_set_property(G_OBJECT(element.get()), name.c_str(), &change);
            g_value_unset(&change);
            return true;
        };
        controls.push_back(std::move(control));
    }
    g_free(params);
    return controls;
}

std::vector<SourceControl> ElementControls(GstElement* source)
{
    std::vector<SourceControl> controls = V4l2Controls(source);
    if (controls.empty()) controls = ColorBalanceControls(source);
    if (controls.empty()) controls = PropertyControls(source);
    return controls;
}

}  // namespace

std::vector<SourceControl> DiscoverControls(GstElement* source)
{
    if (!source) return {};
    std::vector<SourceControl> controls = ElementControls(source);
    if (!controls.empty() || !GST_IS_BIN(source)) return controls;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(source));
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done && controls.empty()) {
        switch (gst_iterator_next(elements, &item)) {
            case GST_ITERATOR_OK:
                controls = ElementControls(GST_ELEMENT(g_value_get_object(&item)));
                g_value_reset(&item);
                break;
            case GST_ITERATOR_RESYNC:
                gst_iterator_resync(elements);
                break;
            default:
                done = true;
                break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return controls;
}
