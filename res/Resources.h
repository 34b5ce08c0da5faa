// The main program's resources: command ids of the menu, the string table, the menu bar
// layout and the icon. One table each, so every text the program shows is found here.
#ifndef KOVRA_RES_RESOURCES_H
#define KOVRA_RES_RESOURCES_H

// Command ids.
constexpr int IDM_ABOUTBOX = 0x0010;
constexpr int ID_VIEW_FULLSCREEN = 32771;
constexpr int ID_VIEW_CONTROL = 32772;
constexpr int ID_VIEW_EXIT = 32773;
constexpr int ID_CAMERAA_DEVICE = 32774;
constexpr int ID_CAMERAA_PIN = 32775;
constexpr int ID_CAMERAA_FILTER = 32776;
constexpr int ID_CAMERAB_DEVICE = 32777;
constexpr int ID_CAMERAB_PIN = 32778;
constexpr int ID_CAMERAB_FILTER = 32779;
constexpr int ID_MIDI = 32780;
constexpr int ID_VIEW_ABOUT = 32782;
// A submenu, filled by the program with the screens it finds.
constexpr int ID_VIEW_OUTPUTSCREEN = 32783;
constexpr int ID_VIEW_PREVIEW = 32784;
constexpr int ID_VIEW_SEND = 32785;
constexpr int ID_VIEW_STREAM = 32786;
constexpr int ID_VIEW_RECORD = 32787;

// String ids.
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDS_MIDI_OPEN_ERROR = 102;
constexpr int IDS_MIDI_CLOSE_ERROR = 103;
constexpr int IDS_MIDI_PREPARE_ERROR = 104;
constexpr int IDS_MIDI_BUFFER_ERROR = 105;
constexpr int IDS_MIDI_UNPREPARE_ERROR = 106;

// The program's name, used as every message box's caption.
constexpr const char* kProgramName = "Kovra";
// Shown when no OpenGL context can be made; the program then ends with exit code 1.
constexpr const char* kOpenGlFailedText = "OpenGLの初期化に失敗しました";

// The text of a string id, or "" for an id the table does not hold.
const char* LoadResString(int id);

// One entry of the menu bar: a menu title, then its items. An item with id 0 is a
// separator; a menu with one item whose text is null is a command on the bar itself.
struct MenuEntry {
    const char* menu;
    const char* item;
    int id;
};
extern const MenuEntry g_menuBar[];
extern const int g_menuBarSize;

// Qt resource path of the program icon.
constexpr const char* kIconPath = ":/kovra/kovra.png";

#endif
