// The expansion of a source's offered formats into the concrete entries of the format
// dialog: fixed sizes and rates as given, lists expanded, ranges replaced by common values.
#include <gst/gst.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "PinFormats.h"

namespace {

// Formats a source with free sizes usually offers by the hundred; these are the ones a user
// would pick, and the pipeline converts any of them.
const std::set<std::string> kUsualFormats = {"BGR",  "RGB",  "BGRx", "BGRA", "RGBx", "RGBA",
                                             "xRGB", "ARGB", "xBGR", "ABGR", "YUY2", "UYVY",
                                             "YVYU", "I420", "YV12", "NV12", "NV21", "GRAY8"};

struct Fraction {
    int num;
    int den;
};

// The fixed members of a field (itself when fixed), and whether it also holds anything
// unfixed, such as a range.
template <typename Read>
auto FixedMembers(const GValue* field, Read read, bool& hasRange)
{
    std::vector<decltype(read(field))> members;
    auto take = [&](const GValue* value) {
        if (gst_value_is_fixed(value)) {
            members.push_back(read(value));
        } else {
            hasRange = true;
        }
    };
    if (GST_VALUE_HOLDS_LIST(field)) {
        for (guint i = 0; i < gst_value_list_get_size(field); ++i) {
            take(gst_value_list_get_value(field, i));
        }
    } else {
        take(field);
    }
    return members;
}

bool Accepts(const GValue* field, int value)
{
    GValue candidate = G_VALUE_INIT;
    g_value_init(&candidate, G_TYPE_INT);
    g_value_set_int(&candidate, value);
    const bool accepted = gst_value_intersect(nullptr, field, &candidate);
    g_value_unset(&candidate);
    return accepted;
}

bool Accepts(const GValue* field, Fraction value)
{
    GValue candidate = G_VALUE_INIT;
    g_value_init(&candidate, GST_TYPE_FRACTION);
    gst_value_set_fraction(&candidate, value.num, value.den);
    const bool accepted = gst_value_intersect(nullptr, field, &candidate);
    g_value_unset(&candidate);
    return accepted;
}

std::vector<std::pair<int, int>> Sizes(const GstStructure* structure)
{
    const GValue* width = gst_structure_get_value(structure, "width");
    const GValue* height = gst_structure_get_value(structure, "height");
    if (!width || !height) return {};
    bool ranged = false;
    auto readInt = [](const GValue* value) {
        return G_VALUE_HOLDS_INT(value) ? g_value_get_int(value) : 0;
    };
    const auto widths = FixedMembers(width, readInt, ranged);
    const auto heights = FixedMembers(height, readInt, ranged);
    std::vector<std::pair<int, int>> sizes;
    if (!ranged) {
        for (int w : widths) {
            for (int h : heights) sizes.emplace_back(w, h);
        }
        return sizes;
    }
    for (const auto& size : kCommonSizes) {
        if (Accepts(width, size[0]) && Accepts(height, size[1])) {
            sizes.emplace_back(size[0], size[1]);
        }
    }
    if (sizes.empty()) {
        GstStructure* nearest = gst_structure_copy(structure);
        int w = 0;
        int h = 0;
        if (gst_structure_fixate_field_nearest_int(nearest, "width", 640) &&
            gst_structure_fixate_field_nearest_int(nearest, "height", 480) &&
            gst_structure_get_int(nearest, "width", &w) &&
            gst_structure_get_int(nearest, "height", &h)) {
            sizes.emplace_back(w, h);
        }
        gst_structure_free(nearest);
    }
    return sizes;
}

std::vector<Fraction> Rates(const GstStructure* structure)
{
    const GValue* rate = gst_structure_get_value(structure, "framerate");
    if (!rate) return {};
    bool ranged = false;
    auto readFraction = [](const GValue* value) {
        return GST_VALUE_HOLDS_FRACTION(value) ? Fraction{gst_value_get_fraction_numerator(value),
                                                          gst_value_get_fraction_denominator(value)}
                                               : Fraction{0, 1};
    };
    std::vector<Fraction> rates = FixedMembers(rate, readFraction, ranged);
    if (ranged) {
        const Fraction common{kCommonRate, 1};
        bool listed = false;
        for (const Fraction& r : rates) listed |= r.num * common.den == common.num * r.den;
        if (Accepts(rate, common)) {
            if (!listed) rates.push_back(common);
        } else {
            GstStructure* nearest = gst_structure_copy(structure);
            Fraction r{0, 1};
            if (gst_structure_fixate_field_nearest_fraction(nearest, "framerate", kCommonRate, 1) &&
                gst_structure_get_fraction(nearest, "framerate", &r.num, &r.den)) {
                rates.push_back(r);
            }
            gst_structure_free(nearest);
        }
    }
    return rates;
}

// Compressed frames have no pixel format of their own; the entry names their kind.
constexpr const char* kJpeg = "image/jpeg";
constexpr const char* kJpegLabel = "MJPG";

std::vector<std::string> PixelFormats(const GstStructure* structure, bool freeSizes)
{
    if (gst_structure_has_name(structure, kJpeg)) return {kJpegLabel};
    const GValue* format = gst_structure_get_value(structure, "format");
    if (!format) return {};
    bool ranged = false;
    auto readString = [](const GValue* value) {
        return std::string(G_VALUE_HOLDS_STRING(value) ? g_value_get_string(value) : "");
    };
    std::vector<std::string> formats = FixedMembers(format, readString, ranged);
    if (freeSizes) {
        std::vector<std::string> usual;
        for (const std::string& f : formats) {
            if (kUsualFormats.count(f)) usual.push_back(f);
        }
        if (!usual.empty()) formats = std::move(usual);
    }
    return formats;
}

bool HasRange(const GstStructure* structure, const char* field)
{
    const GValue* value = gst_structure_get_value(structure, field);
    bool ranged = false;
    if (value)
        FixedMembers(
            value, [](const GValue*) { return 0; }, ranged);
    return ranged;
}

std::string RateText(Fraction rate)
{
    char text[32];
    if (rate.den == 1) {
        std::snprintf(text, sizeof text, "%d", rate.num);
    } else {
        std::snprintf(text, sizeof text, "%.2f", rate.den ? double(rate.num) / rate.den : 0.0);
        // 15.00 reads as 15, 29.97 stays.
        std::string trimmed(text);
        while (trimmed.back() == '0') trimmed.pop_back();
        if (trimmed.back() == '.') trimmed.pop_back();
        return trimmed;
    }
    return text;
}

// One concrete format: the chosen values, and whatever else the structure fixes (pixel
// aspect ratio, colorimetry...). Unfixed extras are left for the source to settle.
CapsPtr ConcreteCaps(const GstStructure* structure, const std::string& format,
                     std::pair<int, int> size, Fraction rate)
{
    GstStructure* concrete = gst_structure_new(
        gst_structure_get_name(structure), "width", G_TYPE_INT, size.first, "height", G_TYPE_INT,
        size.second, "framerate", GST_TYPE_FRACTION, rate.num, rate.den, nullptr);
    if (!gst_structure_has_name(structure, kJpeg)) {
        gst_structure_set(concrete, "format", G_TYPE_STRING, format.c_str(), nullptr);
    }
    gst_structure_foreach(
        structure,
        [](GQuark field, const GValue* value, gpointer target) -> gboolean {
            auto* into = static_cast<GstStructure*>(target);
            if (!gst_structure_id_has_field(into, field) && gst_value_is_fixed(value)) {
                gst_structure_id_set_value(into, field, value);
            }
            return TRUE;
        },
        concrete);
    return CapsPtr(gst_caps_new_full(concrete, nullptr));
}

}  // namespace

std::vector<PinFormat> ExpandFormats(const GstCaps* offered)
{
    std::vector<PinFormat> formats;
    if (!offered || gst_caps_is_any(offered)) return formats;
    std::set<std::string> labels;
    for (guint i = 0; i < gst_caps_get_size(offered); ++i) {
        const GstStructure* structure = gst_caps_get_structure(offered, i);
        GstCapsFeatures* features = gst_caps_get_features(offered, i);
        // Raw video is converted, MJPEG decoded; nothing else reaches the program.
        if (!gst_structure_has_name(structure, "video/x-raw") &&
            !gst_structure_has_name(structure, kJpeg)) {
            continue;
        }
        if (features &&
            !gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY)) {
            continue;
        }
        const bool freeSizes = HasRange(structure, "width") || HasRange(structure, "height");
        const auto pixelFormats = PixelFormats(structure, freeSizes);
        const auto rates = Rates(structure);
        for (const auto& size : Sizes(structure)) {
            for (const Fraction& rate : rates) {
                for (const std::string& pixelFormat : pixelFormats) {
                    const std::string label = std::to_string(size.first) + "x" +
                                              std::to_string(size.second) + ", " + RateText(rate) +
                                              " fps, " + pixelFormat;
                    CapsPtr caps = ConcreteCaps(structure, pixelFormat, size, rate);
                    if (!gst_caps_is_fixed(caps.get()) || !labels.insert(label).second) continue;
                    formats.push_back({label, std::move(caps)});
                }
            }
        }
    }
    return formats;
}
