#pragma once

#include <functional>
#include <map>
#include <utility>

namespace tessal {

// What a button of the main menu does is chosen by its place in the bar (group and position,
// both from 1), not by its caption or key. Each subsystem registers the window it opens at its
// place; a place nobody registered does nothing.
class MenuDispatch
{
public:
    using Action = std::function<void()>;

    void set(int group, int position, Action action);
    bool has(int group, int position) const;
    // False when nothing is registered at that place.
    bool run(int group, int position) const;

private:
    std::map<std::pair<int, int>, Action> m_actions;
};

} // namespace tessal
