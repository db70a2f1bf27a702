#pragma once
// The program's own path terms. Text is UTF-8: a byte of a character beyond
// ASCII is never a separator.

#include <string>

// True for a character that separates folders: "\" and "/" on Windows (the
// system takes both), "/" elsewhere.
bool IsPathSeparator(char c);
// True for a character that ends a folder part: a separator, and ":" on Windows.
bool IsFolderDelimiter(char c);
// Index of the last folder delimiter, or npos.
std::string::size_type LastDelimiter(const std::string &path);
// Text up to and including the last delimiter; empty when there is none.
std::string FolderPart(const std::string &path);
// Text after the last delimiter.
std::string FileNamePart(const std::string &path);
// "C:", "\\server\share" (either separator), or empty (always empty in the native build).
std::string DrivePrefix(const std::string &path);
// The last character is a delimiter.
bool EndsWithDelimiter(const std::string &path);
// A folder part as messages name the folder: without its last separator
// (unless that is all there is), "." for the current folder.
std::string ShownFolder(const std::string &folderPart);
