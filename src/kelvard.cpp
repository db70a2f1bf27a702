// Kelvard: changes the modification, creation and access stamps of files and folders.

#include "run/run.h"
#include "platform/platform.h"
#include "update/update_check.h"

#include <exception>

int main(int argc, char **argv) {
    SetProgramArguments(argc, argv);
    try {
        // First of all, before the banner; a registration that fails only warns.
        RegisterForUpdateCheck("Kelvard", "ぽるかん");
        return RunProgram();
    } catch (...) {
        return ReportUnexpectedError(std::current_exception());
    }
}
