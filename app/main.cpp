// Kovra: live video performance with two cameras, sixteen effects and MIDI control.
#include "MainApp.h"

int main(int argc, char** argv)
{
    CMainApp app(argc, argv);
    return app.InitInstance();
}
