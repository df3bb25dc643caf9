// Quillon's exit codes: what the program that started it, a script or the scheduler, can tell
// apart. The first four are every run's; partial success, failure of the job and bad arguments
// are told only by unattended runs (an attended run reports its outcome in its closing message
// and ends with kSuccess).
#pragma once

enum class ExitCode : int {
    kSuccess = 0,           // the job ran; unattended: every contact or card was taken
    kPartial = 1,           // unattended: the job ran, but some contacts or cards were not taken
    kFailed = -1,           // the support library or the address book cannot be used, the debug
                            // window cannot be made; unattended: the job took nothing
    kBadArguments = -2,     // unattended: the command line, or a folder, file or encoding it names,
                            // cannot be used; nothing was done
    kAnotherInstance = -3,  // another instance of Quillon is running
    kNoMode = -10,          // no mode option on the command line
};

inline int ExitValue(ExitCode code)
{
    return static_cast<int>(code);
}
