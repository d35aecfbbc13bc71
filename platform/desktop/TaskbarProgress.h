#pragma once

#include <optional>

// The render's progress on Kilnlight's task bar or dock entry, through the launcher entry signal
// (com.canonical.Unity.LauncherEntry.Update for application://kilnlight.desktop) that KDE Plasma's
// task manager and GNOME's docks read. A signal goes out only when the whole percentage shown, or
// whether it shows, changes; without a session bus none does. Destroying it clears what it showed.
class TaskbarProgress
{
public:
    TaskbarProgress() = default;
    TaskbarProgress(const TaskbarProgress &) = delete;
    TaskbarProgress &operator=(const TaskbarProgress &) = delete;
    ~TaskbarProgress();

    // Shows how much is done, from 0 to 1; values outside are taken as the nearer end.
    void setProgress(double fraction);
    // Hides the progress.
    void clear();

private:
    void send(int percent, bool visible) const;

    std::optional<int> shownPercent; // none while hidden
};
