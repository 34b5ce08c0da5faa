// kovra-devices: the video devices as Kovra numbers them in its settings file and Camera
// Device dialog, one per line ("1 Integrated Camera"), 0 being "None".
#include <cstdio>
#include <string>
#include <vector>

#include "DeviceList.h"

int main()
{
    const std::vector<std::string> names = VideoDeviceNames();
    std::printf("0 None\n");
    for (size_t i = 0; i < names.size(); ++i) std::printf("%zu %s\n", i + 1, names[i].c_str());
    return 0;
}
