// A mouse for the end-to-end tests under sway, whose headless seat has none: a virtual
// pointer that lives as long as this process, so that clients see it before they are
// clicked. Reads "click X Y" lines (layout pixels) from standard input and prints "ready"
// once the pointer exists and "done" after each click has reached the compositor.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "virtual-pointer-client.h"

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}

void GlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT (of the output layout)\n", argv[0]);
        return 2;
    }
    const uint32_t width = static_cast<uint32_t>(std::stoul(argv[1]));
    const uint32_t height = static_cast<uint32_t>(std::stoul(argv[2]));
    // Disconnecting ends the pointer and every other object on the compositor's side.
    std::unique_ptr<wl_display, void (*)(wl_display*)> connection(wl_display_connect(nullptr),
                                                                  wl_display_disconnect);
    wl_display* display = connection.get();
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || !globals.manager) {
        std::fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    wl_display_roundtrip(display);
    std::cout << "ready" << std::endl;

    uint32_t time = 0;
    std::string command;
    int x = 0;
    int y = 0;
    while (std::cin >> command >> x >> y) {
        if (command != "click") continue;
        zwlr_virtual_pointer_v1_motion_absolute(pointer, ++time, static_cast<uint32_t>(x),
                                                static_cast<uint32_t>(y), width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, ++time, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, ++time, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        std::cout << "done" << std::endl;
    }
    return 0;
}
