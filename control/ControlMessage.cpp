// Messages and binding keys; see ControlMessage.h.
#include "ControlMessage.h"

bool ControlMessageFromShort(uint32_t packed, ControlMessage& message)
{
    const int status = static_cast<int>(packed & 0xFF);
    const int data1 = static_cast<int>((packed >> 8) & 0xFF);
    const int data2 = static_cast<int>((packed >> 16) & 0xFF);
    message.channel = status & 0x0F;
    message.number = data1;
    message.value = data2;
    switch (status >> 4) {
        case 0x8:
            message.kind = ControlMessage::Kind::NoteOff;
            return true;
        case 0x9:
            message.kind = ControlMessage::Kind::NoteOn;
            return true;
        case 0xB:
            message.kind = ControlMessage::Kind::Control;
            return true;
        case 0xC:
            message.kind = ControlMessage::Kind::Program;
            message.value = data1;
            return true;
        default:
            return false;
    }
}

bool Bindable(const MessageKey& key)
{
    if (key.channel < 0 || key.channel > 15 || key.number < 0 || key.number > 127) return false;
    if (key.type == MessageKey::Type::Program) return key.number == 0;
    return key.type != MessageKey::Type::Control || key.number < 120;
}

bool KeyOf(const ControlMessage& message, MessageKey& key)
{
    switch (message.kind) {
        case ControlMessage::Kind::NoteOn:
        case ControlMessage::Kind::NoteOff:
            key = {MessageKey::Type::Note, message.channel, message.number};
            break;
        case ControlMessage::Kind::Control:
            key = {MessageKey::Type::Control, message.channel, message.number};
            break;
        case ControlMessage::Kind::Program:
            key = {MessageKey::Type::Program, message.channel, 0};
            break;
    }
    return Bindable(key);
}
