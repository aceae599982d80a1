// Entry point and command line: start-up, run-mode dispatch and shutdown.
#pragma once

#include "../shell/shell.h"

/* cmdline.cpp */
// Returns the position after the next token, or nullptr when no token is left.
const wchar_t* NextToken(const wchar_t* text, wchar_t* token, size_t size);
bool MatchSwitch(const wchar_t* name, const wchar_t* word, int count);
// Reads one source's switches into the run options and acts on each as it comes: "/wait" takes
// the run's turn and pauses two seconds, "/warning" shows its notice. The installer's line
// (fromInstaller) shapes the run and never chooses its mode.
void ActOnSwitches(const wchar_t* text, bool fromInstaller);
// Parses the installer's command line ("sfxcmd") for the silent switch; nothing when unset.
void ParseInstallerLine();
// Runs the program and returns its exit code; a fatal error ends it with the code it carries.
template <typename Body>
int32_t RunToExitCode(Body body) {
    try {
        body();
    } catch (KVA_EXIT code) {
        return code;
    }
    return g_shell.exitCode;
}

/* main.cpp */
void CarryOverSettingsFile();
