#pragma once
#include <cstddef>

// Command routing as the program's classes expect it: each class keeps a
// message map (command id -> handler, update handler) and OnCmdMsg looks a
// command up in it, then in its base class's map. The frame routes a command
// through the active view, the document, itself and the application.
class CCmdUI {
public:
    explicit CCmdUI(unsigned id) : m_nID(id) {}
    void Enable(bool on = true) { enabled_ = on; }
    bool IsEnabled() const { return enabled_; }
    // A command with a check mark (an on/off switch); 0 clears it.
    void SetCheck(int check = 1) { check_ = check; }
    bool HasCheck() const { return check_ >= 0; }
    bool IsChecked() const { return check_ > 0; }

    const unsigned m_nID;

private:
    bool enabled_ = true;  // a command with a handler and no update rule is enabled
    int check_ = -1;       // -1: no check mark
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Executes the command (ui == nullptr) or asks its update rule (ui given).
    // True when this target handles the command.
    virtual bool OnCmdMsg(unsigned id, CCmdUI* ui) { (void)id; (void)ui; return false; }
};

template <class T>
struct CommandEntry {
    unsigned id;
    void (T::*handler)();
    void (T::*update)(CCmdUI*);
};

// Looks `id` up in `map`; runs the handler or the update rule of its entry.
template <class T, std::size_t N>
bool DispatchCommand(T* self, const CommandEntry<T> (&map)[N], unsigned id, CCmdUI* ui) {
    for (const CommandEntry<T>& e : map) {
        if (e.id != id) continue;
        if (ui) {
            if (e.update) (self->*e.update)(ui);
            return true;
        }
        if (e.handler) (self->*e.handler)();
        return true;
    }
    return false;
}
