// A controller's mapping file: where it lies, and its [BINDINGS] section, which lies over the
// default map. Lines like "CC 1 21=CTRL1", "NOTE 1 48=MEMA1", "PC 1=EFFECT" (channels counted
// from 1), several actions separated by commas, NONE for none.
#ifndef KOVRA_CONTROL_MAPPINGFILE_H
#define KOVRA_CONTROL_MAPPINGFILE_H

#include <string>

#include "Bindings.h"

// "<name>-<hash>.ini": the name with every character other than ASCII letters, digits,
// space, '-', '_', '.', '(' and ')' turned into '_' and cut to 100 bytes; the hash the 32-bit
// FNV-1a of the whole name's bytes in 8 lowercase hex digits, which keeps apart two names
// that clean to the same text.
std::string MappingFileName(const std::string& deviceName);

// The file in the "controllers" folder beside the settings file.
std::string MappingFilePath(const std::string& settingsPath, const std::string& deviceName);

// A binding's line: the key ("CC 1 21") and the value ("CTRL1,CTRL2" or "NONE").
std::string BindingKeyText(const MessageKey& key);
std::string BindingValueText(const Bindings::Actions& actions);
// The message of a key and the actions of a value (NONE is none); false for a line Kovra
// does not know: another form, a message that cannot bind, an unknown action.
bool ParseBindingKey(const std::string& text, MessageKey& key);
bool ParseBindingValue(const std::string& text, Bindings::Actions& actions);

// The defaults with each line of the file's [BINDINGS] in place of its message's default
// bindings; the first line of a message counts, lines Kovra does not know are ignored. A
// missing or unreadable file gives the defaults.
Bindings ReadMappingFile(const std::string& path, const Bindings& defaults);

// Writes the lines where `bindings` differ from the defaults, removes the lines Kovra knows
// that no longer differ, and keeps everything else of the file. Writes nothing (and makes no
// file) when nothing changes. False when the file could not be written.
bool WriteMappingFile(const std::string& path, const Bindings& bindings, const Bindings& defaults);

#endif
