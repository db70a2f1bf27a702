#pragma once
// The program's error kinds, and the message texts raised in more than one place.

#include <cstdint>
#include <exception>
#include <string>

// An error that ends the run with "Error: " + message, and, on a line of
// its own after it, what caused it: the argument and what is wrong with it,
// or a path and the system's reason (empty where the message says it all).
class EAppError : public std::exception {
public:
    explicit EAppError(std::string message, std::string cause = {})
        : Message(std::move(message)), Cause(std::move(cause)) {}
    const char *what() const noexcept override { return Message.c_str(); }
    const std::string &message() const { return Message; }
    const std::string &cause() const { return Cause; }

private:
    std::string Message;
    std::string Cause;
};

// The counterpart of an item under a source folder does not exist, or a
// source file cannot be read as one: its path, and the system's error code of
// the search that did not find it, or the program's own reason.
class ESrcFileNotExist : public EAppError {
public:
    ESrcFileNotExist(std::string counterpart, uint32_t code, std::string reason = {})
        : EAppError(""), Counterpart(std::move(counterpart)), Code(code),
          Reason(std::move(reason)) {}
    std::string Counterpart;
    uint32_t Code;
    std::string Reason;
};

// Ends the run silently with the exit code given (after the usage screen).
class EAbort : public std::exception {
public:
    explicit EAbort(int exitCode) : ExitCode(exitCode) {}
    const char *what() const noexcept override { return ""; }
    int ExitCode;
};

// An interrupt (Ctrl+C, SIGINT, SIGTERM): the run ends after the item in hand,
// with exit code 130.
class EInterrupted : public EAbort {
public:
    EInterrupted() : EAbort(130) {}
};

// Errors that the run does not handle: they reach the last-resort report with
// the name of their kind.
class EUnexpected : public std::exception {
public:
    EUnexpected(std::string kind, std::string message)
        : Kind(std::move(kind)), Message(std::move(message)) {}
    const char *what() const noexcept override { return Message.c_str(); }
    const std::string &kind() const { return Kind; }
    const std::string &message() const { return Message; }

private:
    std::string Kind;
    std::string Message;
};

// A registry value of the wrong type, or a registry write that failed.
class ERegistryError : public EUnexpected {
public:
    explicit ERegistryError(std::string message)
        : EUnexpected("ERegistryException", std::move(message)) {}
};

// A write to a standard stream that failed: it ends the run like any error,
// its cause the system's reason.
class EStreamError : public EAppError {
public:
    EStreamError(std::string message, std::string cause)
        : EAppError(std::move(message), std::move(cause)) {}
};

// A date or time that cannot be read, or whose stamp cannot be formed.
inline constexpr const char *DateTimeError = "日時の指定に誤りがあります";

// An operand, or a source file, that finds nothing.
inline std::string NotFoundMessage(const std::string &name) {
    return "ファイル (" + name + ") が見つかりません";
}

// The reason given for an item or folder whose name the program's text
// cannot hold (an unpaired surrogate in UTF-16): the program never looks for
// it by the text that shows it.
inline constexpr const char *UnrepresentableNameReason =
    "名前に対のないサロゲート (UTF-16 として正しくない文字) があります";

// The reason given for an item or folder whose name its folder's listing
// holds twice: a lookup by that name reaches one of them at most.
inline constexpr const char *NameListedTwiceReason =
    "フォルダの一覧に同じ名前が二つあり、どちらの項目か決められません";

// The reason given for a source file that the system takes for a device.
inline constexpr const char *DeviceSourceReason = "ディスク上のファイルではなくデバイスです";

// A registry value that could not be written.
inline ERegistryError RegistryWriteError(const std::string &valueName) {
    return ERegistryError("'" + valueName + "' の設定に失敗しました");
}
