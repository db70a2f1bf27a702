#include "common/paths.h"

#include "platform/platform.h"

bool IsPathSeparator(char c) {
    if constexpr (HasDriveSyntax)
        return c == '\\' || c == '/';
    else
        return c == PathSeparator;
}

bool IsFolderDelimiter(char c) {
    return IsPathSeparator(c) || (HasDriveSyntax && c == ':');
}

std::string::size_type LastDelimiter(const std::string &path) {
    std::string::size_type last = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i)
        if (IsFolderDelimiter(path[i]))
            last = i;
    return last;
}

std::string FolderPart(const std::string &path) {
    auto last = LastDelimiter(path);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string FileNamePart(const std::string &path) {
    auto last = LastDelimiter(path);
    return last == std::string::npos ? path : path.substr(last + 1);
}

bool EndsWithDelimiter(const std::string &path) {
    auto last = LastDelimiter(path);
    return last != std::string::npos && last + 1 == path.size();
}

std::string DrivePrefix(const std::string &path) {
    if constexpr (!HasDriveSyntax)
        return std::string();
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // "\\server\share": up to, not including, the "\" after the share name.
        int separators = 0;
        for (std::string::size_type i = 2; i < path.size(); ++i)
            if (IsPathSeparator(path[i]) && ++separators == 2)
                return path.substr(0, i);
        return path;
    }
    return std::string();
}

std::string ShownFolder(const std::string &folderPart) {
    if (folderPart.empty())
        return ".";
    if (folderPart.size() > 1 && IsPathSeparator(folderPart.back()) &&
        !IsFolderDelimiter(folderPart[folderPart.size() - 2]) &&
        LastDelimiter(folderPart) == folderPart.size() - 1)
        return folderPart.substr(0, folderPart.size() - 1);
    return folderPart;
}
