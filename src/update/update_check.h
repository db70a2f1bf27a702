#pragma once
// Announcing the program to the update checker through the registry.

#include <string>

// The write that kept the registration from being done: the registry error's
// message (it names the value), the key it went to (a path under
// HKEY_CURRENT_USER) and the system's reason (empty when there is none).
struct TUpdateCheckFailure {
    std::string Message;
    std::string Key;
    std::string Reason;
};

// Writes the checker's keys and values; false at the first write that fails,
// with `failure` filled in. What was written before it stays.
bool TryRegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName,
                               TUpdateCheckFailure &failure);

// Registers, and when that fails writes a warning and its reason to the error
// stream. The registration is a side task: its failure never stops the run
// and never changes the exit code.
void RegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName);
