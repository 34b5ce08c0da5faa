// The settings file's "OSC" section; see OscSettings.h.
#include "OscSettings.h"

#include "IniFile.h"

void OscSettings::Load(IniProfile& profile)
{
    *this = OscSettings();
    port = profile.GetInt("OSC", "PORT", 0);
    profile.GetString("OSC", "ADDRESS", address);
    remoteOutputs = profile.GetInt("OSC", "REMOTEOUTPUTS", 0) != 0;
    profile.GetString("OSC", "FEEDBACK", feedback);
}

void OscSettings::Save(IniProfile& profile) const
{
    std::string stored;
    if (port == 0 && !profile.GetString("OSC", "PORT", stored)) return;
    profile.Set("OSC", "PORT", std::to_string(port));
}
