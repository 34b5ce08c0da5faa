// The bindings; see Bindings.h.
#include "Bindings.h"

#include <algorithm>
#include <utility>

bool Bindings::Set(const MessageKey& key, Actions actions)
{
    if (!Bindable(key)) return false;
    std::sort(actions.begin(), actions.end());
    actions.erase(std::unique(actions.begin(), actions.end()), actions.end());
    if (actions.empty())
        m_bindings.erase(key);
    else
        m_bindings[key] = std::move(actions);
    return true;
}

const Bindings::Actions& Bindings::Of(const MessageKey& key) const
{
    static const Actions kNone;
    const auto found = m_bindings.find(key);
    return found == m_bindings.end() ? kNone : found->second;
}
