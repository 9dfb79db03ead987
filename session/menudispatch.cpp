#include "session/menudispatch.h"

namespace tessal {

void MenuDispatch::set(int group, int position, Action action)
{
    if (action)
        m_actions[{group, position}] = std::move(action);
    else
        m_actions.erase({group, position});
}

bool MenuDispatch::has(int group, int position) const
{
    return m_actions.contains({group, position});
}

bool MenuDispatch::run(int group, int position) const
{
    const auto found = m_actions.find({group, position});
    if (found == m_actions.end())
        return false;
    found->second();
    return true;
}

} // namespace tessal
