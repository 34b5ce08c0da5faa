// Which actions each message drives: a message may drive several actions, and an action may
// have several messages.
#ifndef KOVRA_CONTROL_BINDINGS_H
#define KOVRA_CONTROL_BINDINGS_H

#include <map>
#include <vector>

#include "Action.h"
#include "ControlMessage.h"

class Bindings {
public:
    using Actions = std::vector<Action>;

    // Replaces the message's actions, kept in the actions' order without repeats; empty
    // unbinds it. False, and nothing changed, for a message that cannot bind.
    bool Set(const MessageKey& key, Actions actions);
    // The message's actions; empty when it drives none.
    const Actions& Of(const MessageKey& key) const;
    const std::map<MessageKey, Actions>& All() const { return m_bindings; }

    bool operator==(const Bindings& o) const { return m_bindings == o.m_bindings; }
    bool operator!=(const Bindings& o) const { return !(*this == o); }

private:
    std::map<MessageKey, Actions> m_bindings;  // never an empty list
};

#endif
