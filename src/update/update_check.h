#pragma once
// Announcing the program to the update checker through the registry.

#include <string>

void RegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName);
