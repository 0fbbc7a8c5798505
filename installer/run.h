#pragma once
// The tool's whole run, from reading config.pref to the last message box. The caller does the
// process start-up before it (common controls, COM) and ends the process with code 0 after it.

namespace installer {

// Installs the add-on named on the command line into the pak-set folder the user names.
// Never fails as such: every problem ends in its message box, and the run returns normally.
void Run();

}  // namespace installer
