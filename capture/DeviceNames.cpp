// The remembered names of listed devices; see DeviceNames.h.
#include "DeviceNames.h"

#include <algorithm>

std::string RememberedName(const std::vector<std::string>& names, int position)
{
    if (position < 1 || position > static_cast<int>(names.size())) return {};
    const std::string& name = names[position - 1];
    const auto ordinal = std::count(names.begin(), names.begin() + position, name);
    return ordinal == 1 ? name : name + " #" + std::to_string(ordinal);
}

int PositionOfName(const std::vector<std::string>& names, const std::string& remembered)
{
    if (remembered.empty()) return 0;
    // Compared through the stored form, so a device whose own name ends in " #2" is found too.
    for (int position = 1; position <= static_cast<int>(names.size()); ++position)
        if (RememberedName(names, position) == remembered) return position;
    return 0;
}
