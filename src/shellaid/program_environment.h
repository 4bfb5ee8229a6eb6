// What the error report needs to know of this program and the machine it runs on. The desktop's
// and the command line's entry points hand it to the error module at start; tests hand in their
// own.
#pragma once

#include "errors/err_trap.h"

namespace zandrex {

// The platform's answers, the report folder ("Zandrex" in the user's documents folder), the OS
// line, the version and support address, and whether the main window ("Form1") is loaded.
ReportEnvironment programReportEnvironment();

} // namespace zandrex
