#pragma once

// Starts the application: builds the main window from its definition, shows it and runs the event
// loop until the user quits. Returns the loop's exit status.
int applicationMain(int argc, char **argv);
