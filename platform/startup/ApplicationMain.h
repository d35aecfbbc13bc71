#pragma once

class QString;

// Starts the application: builds the main window from its definition, shows it and runs the event
// loop until the user quits. Returns the loop's exit status.
int applicationMain(int argc, char **argv);

// The main window with the given renderer, shown, and the event loop run until the user quits.
// Then the window goes at once, and a render still running, or a renderer still ending, gets the
// rest of its grace period before its group is killed: when it returns, no renderer is left.
int runMainWindow(const QString &rendererPath);
