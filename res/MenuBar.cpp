// The main window's menu bar, in display order.
#include "Resources.h"

const MenuEntry g_menuBar[] = {
    {"View", "Full Screen", ID_VIEW_FULLSCREEN},
    {"View", "Output Screen", ID_VIEW_OUTPUTSCREEN},
    {"View", "Preview", ID_VIEW_PREVIEW},
    {"View", "Control", ID_VIEW_CONTROL},
    {"View", "Send to Other Programs", ID_VIEW_SEND},
    {"View", "Stream", ID_VIEW_STREAM},
    {"View", "Record", ID_VIEW_RECORD},
    {"View", "About", ID_VIEW_ABOUT},
    {"View", "", 0},
    {"View", "Exit", ID_VIEW_EXIT},
    {"Camera A", "Device", ID_CAMERAA_DEVICE},
    {"Camera A", "Pin", ID_CAMERAA_PIN},
    {"Camera A", "Filter", ID_CAMERAA_FILTER},
    {"Camera B", "Device", ID_CAMERAB_DEVICE},
    {"Camera B", "Pin", ID_CAMERAB_PIN},
    {"Camera B", "Filter", ID_CAMERAB_FILTER},
    {"Midi", nullptr, ID_MIDI},
};

const int g_menuBarSize = sizeof(g_menuBar) / sizeof(g_menuBar[0]);
