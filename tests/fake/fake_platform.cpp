#include "fake/fake_platform.h"

#include "report/output.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

TFakeState State;

// Keeps `code` as the reason of a failing call and gives back `result`.
template <class T> T Failed(T result, uint32_t code) {
    State.LastError = code;
    return result;
}

// A failure that a test asked for.
template <class T> T Injected(T result) {
    return Failed(result, State.FailCode);
}

std::string Lower(const std::string &text) {
    std::string result = text;
    for (char &c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

std::string KeyOf(const std::string &path) {
    std::string key = !path.empty() && path[0] == '\\' ? path.substr(1) : path;
    while (!key.empty() && key.back() == '\\')
        key.pop_back();
    return Lower(key);
}

bool IsSeparator(char c) {
    return HasDriveSyntax ? (c == '\\' || c == ':') : c == '/';
}

size_t LastSeparator(const std::string &path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparator(path[i]))
            last = i;
    return last;
}

std::string Folder(const std::string &path) {
    size_t last = LastSeparator(path);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string Name(const std::string &path) {
    size_t last = LastSeparator(path);
    return last == std::string::npos ? path : path.substr(last + 1);
}

bool SameNameFake(const std::string &a, const std::string &b) {
    return HasDriveSyntax ? Lower(a) == Lower(b) : a == b;
}

char Fold(char c) {
    return HasDriveSyntax && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool Match(const std::string &pattern, const std::string &name) {
    if (pattern == "*" || pattern == "*.*")
        return true;
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The item stored under `path`, looked up by the platform's name rules.
std::map<std::string, TFakeItem>::iterator FindItem(const std::string &path) {
    auto exact = State.Items.find(path);
    if (exact != State.Items.end() || !HasDriveSyntax)
        return exact;
    for (auto it = State.Items.begin(); it != State.Items.end(); ++it)
        if (Lower(it->first) == Lower(path))
            return it;
    return State.Items.end();
}

TFindData EntryOf(const std::string &name, const TFakeItem &item) {
    TFindData entry;
    entry.Name = name;
    entry.IsFolder = item.IsFolder;
    entry.IsLink = item.IsLink;
    entry.WriteRefusal = item.WriteRefusal                 ? item.WriteRefusal
                         : item.ReadOnly && !item.IsFolder ? FakeAccessDenied
                                                           : 0;
    entry.CreationTime = item.CreationTime;
    entry.LastAccessTime = item.LastAccessTime;
    entry.LastWriteTime = item.LastWriteTime;
    entry.CreationNanos = item.CreationNanos;
    entry.LastAccessNanos = item.LastAccessNanos;
    entry.LastWriteNanos = item.LastWriteNanos;
    entry.NameUnrepresentable = item.NameUnrepresentable;
    entry.NameRefusal = item.NameRefusal;
    entry.NameListedTwice = item.NameListedTwice;
    entry.InexactStamps = item.InexactStamps;
    // Every item of the fake has its own number (the volume is not told, so
    // that volumes are told by path).
    entry.FileId = item.Id;
    return entry;
}

struct TFakeSearch {
    std::vector<TFindData> Entries;
    size_t Next = 0;
};

TFakeSearch &SearchOf(TSearchHandle handle) {
    return *reinterpret_cast<TFakeSearch *>(handle);
}

// Why a search in `folder` fails: 0 when it can be searched, FailCode for a
// folder that refuses it, FakeNotFound for no folder.
uint32_t FolderProblem(const std::string &folder) {
    if (folder.empty())
        return 0;
    std::string path = folder;
    if (IsSeparator(path.back()) && path.size() > 1 && path[path.size() - 2] != ':')
        path.pop_back();
    if (HasDriveSyntax && path.size() == 2 && path[1] == ':')
        return 0;
    if (HasDriveSyntax && path.size() == 3 && path[1] == ':')
        return 0;
    if (!HasDriveSyntax && path == "/")
        return 0;
    auto it = FindItem(path);
    if (it == State.Items.end() || !it->second.IsFolder)
        return FakeNotFound;
    return it->second.FailSearch ? State.FailCode : 0;
}

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    std::string folder = Folder(pattern), name = Name(pattern);
    if (name.empty())
        return Failed(nullptr, FakeNotFound);
    if (const uint32_t problem = FolderProblem(folder); problem != 0)
        return Failed(nullptr, problem);
    auto *search = new TFakeSearch;
    if (name.find_first_of("*?") == std::string::npos) {
        auto it = FindItem(pattern);
        if (it != State.Items.end())
            search->Entries.push_back(EntryOf(Name(it->first), it->second));
    } else {
        if (!folder.empty() && Match(name, ".")) {
            TFakeItem dot;
            dot.IsFolder = true;
            search->Entries.push_back(EntryOf(".", dot));
            search->Entries.push_back(EntryOf("..", dot));
        }
        std::vector<std::string> vanished;
        for (const auto &[path, item] : State.Items)
            if (SameNameFake(Folder(path), folder) && Match(name, Name(path))) {
                search->Entries.push_back(EntryOf(Name(path), item));
                if (item.VanishWhenListed)
                    vanished.push_back(path);
            }
        for (const std::string &path : vanished)
            State.Items.erase(path);
    }
    if (search->Entries.empty()) {
        delete search;
        return Failed(nullptr, FakeNotFound);
    }
    entry = search->Entries[search->Next++];
    return reinterpret_cast<TSearchHandle>(search);
}

bool FindNext(TSearchHandle handle, TFindData &entry) {
    TFakeSearch &search = SearchOf(handle);
    if (search.Next >= search.Entries.size())
        return Failed(false, FakeNoMoreFiles);
    entry = search.Entries[search.Next++];
    return true;
}

void FindClose(TSearchHandle handle) {
    delete &SearchOf(handle);
}

// An open folder of the fake: its path text, ending in the separator (or
// empty for the current folder). The test program holds the build's own
// table too, which defines the folder state its way: the fake's is a type of
// its own behind the handle, as its searches are.
struct TFakeFolder {
    std::string Path;
};

TFakeFolder &FolderOf(TFolderHandle handle) {
    return *reinterpret_cast<TFakeFolder *>(handle);
}

std::string Joined(TFolderHandle folder, const std::string &name) {
    return folder ? FolderOf(folder).Path + name : name;
}

TFolderHandle OpenFolderAt(const std::string &path) {
    if (const uint32_t problem = FolderProblem(path); problem != 0)
        return Failed(nullptr, problem);
    State.PeakOpenFolders = std::max(State.PeakOpenFolders, ++State.OpenFolders);
    std::string text = path;
    if (!text.empty() && !IsSeparator(text.back()))
        text += PathSeparator;
    return reinterpret_cast<TFolderHandle>(new TFakeFolder{text});
}

TFolderHandle OpenFolder(const std::string &path) {
    return OpenFolderAt(path);
}

TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name) {
    auto it = FindItem(Joined(parent, name));
    if (it != State.Items.end() && it->second.IsLink)
        return Failed(nullptr, FakeNotFound);
    return OpenFolderAt(Joined(parent, name));
}

void CloseFolder(TFolderHandle folder) {
    --State.OpenFolders;
    delete &FolderOf(folder);
}

// The key of State.Volumes that holds `path` (see FileSystemName), and an id
// of that volume: 1 for the default one.
uint64_t VolumeIdOf(const std::string &path) {
    std::string key;
    bool found = false;
    if (HasDriveSyntax) {
        if (path.size() >= 2 && path[1] == ':') {
            key = Lower(path.substr(0, 2)) + "\\";
        } else if (path.compare(0, 2, "\\\\") == 0) {
            const size_t server = path.find('\\', 2);
            const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
            key = Lower(path.substr(0, share)) + "\\";
        }
        found = State.Volumes.count(key) != 0;
    } else {
        for (const auto &entry : State.Volumes)
            if (path.compare(0, entry.first.size(), entry.first) == 0 &&
                (!found || entry.first.size() >= key.size())) {
                key = entry.first;
                found = true;
            }
    }
    if (!found)
        return 1;
    return 2 + uint64_t(std::distance(State.Volumes.begin(), State.Volumes.find(key)));
}

bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId) {
    std::string path = folder ? FolderOf(folder).Path : std::string();
    if (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    auto it = FindItem(path);
    if (it == State.Items.end())
        return Failed(false, FakeNotFound);
    // As entries give it, unless folders are to tell their volumes.
    volumeId = State.FoldersTellVolumes ? VolumeIdOf(path) : 0;
    fileId = it->second.Id;
    return true;
}

TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool,
                          TFindData &entry) {
    return FindFirst(Joined(folder, namePattern), entry);
}

bool ReadItem(TFolderHandle folder, const std::string &name, bool, TFindData &entry) {
    auto it = FindItem(Joined(folder, name));
    if (it == State.Items.end())
        return Failed(false, FakeNotFound);
    entry = EntryOf(Name(it->first), it->second);
    return true;
}

bool IsDevice(TFolderHandle folder, const std::string &name) {
    auto it = FindItem(Joined(folder, name));
    return it != State.Items.end() && it->second.IsDevice;
}

bool SetItemTimes(TFolderHandle folder, const std::string &name, bool isFolder, bool followLink,
                  const TStampWrite *creation, const TStampWrite *lastAccess,
                  const TStampWrite *lastWrite) {
    const std::string path = Joined(folder, name);
    TFakeWrite write;
    write.Path = path;
    write.IsFolder = isFolder;
    write.FollowLink = followLink;
    write.HasCreation = creation != nullptr;
    write.HasAccess = lastAccess != nullptr;
    write.HasWrite = lastWrite != nullptr;
    const TStampWrite none;
    const TStampWrite &c = creation ? *creation : none;
    const TStampWrite &a = lastAccess ? *lastAccess : none;
    const TStampWrite &w = lastWrite ? *lastWrite : none;
    write.Creation = c.Value;
    write.Access = a.Value;
    write.Write = w.Value;
    write.CreationNanos = c.Nanos;
    write.AccessNanos = a.Nanos;
    write.WriteNanos = w.Nanos;
    State.Writes.push_back(write);
    auto it = FindItem(path);
    if (it == State.Items.end())
        return Failed(false, FakeNotFound);
    if (it->second.FailWrite)
        return Injected(false);
    if (it->second.WriteRefusal != 0)
        return Failed(false, it->second.WriteRefusal);
    if (it->second.ReadOnly && !isFolder)
        return Failed(false, FakeAccessDenied);
    TFakeItem &item = it->second;
    if (creation) {
        item.CreationTime = c.Value;
        item.CreationNanos = c.Nanos;
    }
    if (lastAccess) {
        item.LastAccessTime = a.Value;
        item.LastAccessNanos = a.Nanos;
    }
    if (lastWrite) {
        item.LastWriteTime = w.Value;
        item.LastWriteNanos = w.Nanos;
    }
    return true;
}

uint64_t OpenFileLimit() {
    return State.OpenFileLimit;
}

unsigned ProcessorCount() {
    return State.Processors;
}

bool CanSetCreationTime() {
    return State.CanSetCreation || Injected(false);
}

bool FileSystemName(TFolderHandle folder, const std::string &given, std::string &name) {
    ++State.VolumeQueries;
    const std::string where = !HasDriveSyntax && folder ? FolderOf(folder).Path : given;
    if (State.VolumeQueryFails)
        return Injected(false);
    if (HasDriveSyntax) {
        auto it = State.Volumes.find(Lower(where));
        name = it != State.Volumes.end() ? it->second : State.DefaultFileSystem;
        return true;
    }
    name = State.DefaultFileSystem;
    size_t best = 0;
    for (const auto &[prefix, fs] : State.Volumes)
        if (where.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best) {
            best = prefix.size();
            name = fs;
        }
    return true;
}

bool FatVolumeOffset(TFolderHandle, const std::string &, int32_t &offsetSeconds) {
    if (!State.FatOffset)
        return Injected(false);
    offsetSeconds = *State.FatOffset;
    return true;
}

bool IsAbsolute(const std::string &path) {
    if (HasDriveSyntax)
        return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') ||
               (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
    return !path.empty() && path[0] == '/';
}

std::string FullPathName(TFolderHandle folder, const std::string &name) {
    if (State.FullPathFails)
        return Failed(std::string(), FakeNotFound);
    const std::string path = Joined(folder, name);
    if (IsAbsolute(path))
        return path;
    if (path == ".")
        return State.CurrentFolder;
    std::string base = State.CurrentFolder;
    if (!base.empty() && !IsSeparator(base.back()))
        base += PathSeparator;
    return base + path;
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    auto named = State.ShortNames.find(path);
    if (named != State.ShortNames.end()) {
        shortPath = named->second;
        return true;
    }
    if (FindItem(path) == State.Items.end() && !State.Files.count(path))
        return Failed(false, FakeNotFound);
    shortPath = path;
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    auto it = State.Files.find(path);
    if (it == State.Files.end())
        return Failed(false, FakeNotFound);
    data = it->second;
    return true;
}

// A file open for reading: its path, whose contents Files holds.
struct TFakeRead {
    std::string Path;
};

TReadHandle OpenForReading(TFolderHandle folder, const std::string &name, bool followLink,
                           uint64_t &size) {
    const std::string path = Joined(folder, name);
    auto it = FindItem(path);
    if (it == State.Items.end())
        return Failed(nullptr, FakeNotFound);
    if (it->second.IsFolder || (it->second.IsLink && !followLink))
        return Failed(nullptr, FakeNotAFile);
    if (State.FailOpenRead)
        return Injected(static_cast<TReadHandle>(nullptr));
    ++State.OpenReads;
    size = State.Files[path].size();
    return reinterpret_cast<TReadHandle>(new TFakeRead{path});
}

bool ReadAt(TReadHandle file, uint64_t offset, void *buffer, size_t size, size_t &read) {
    const std::string &data = State.Files[reinterpret_cast<TFakeRead *>(file)->Path];
    read = 0;
    ++State.Reads;
    if (offset >= data.size())
        return true;
    read = std::min<uint64_t>(size, data.size() - offset);
    std::memcpy(buffer, data.data() + offset, read);
    return true;
}

void CloseReading(TReadHandle file) {
    --State.OpenReads;
    delete reinterpret_cast<TFakeRead *>(file);
}

bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode) {
    State.ProcessStarts.push_back(commandLine);
    exitCode = 0;
    if (State.FailProcessStart)
        return Injected(false);
    exitCode = State.ProcessExitCode;
    if (exitCode != 0)
        Failed(false, exitCode);
    return true;
}

bool StateFolderFake(std::string &path) {
    if (State.NoStateFolder)
        return Injected(false);
    path = State.StateFolder;
    return true;
}

bool MakePrivateFolder(const std::string &path) {
    if (State.FailMakeFolder)
        return Injected(false);
    State.Folders.insert(path);
    return true;
}

} // namespace

struct TFileState {
    std::string Path;
};

namespace {

TFileHandle OpenAppend(const std::string &path, bool create) {
    if (State.FailOpenAppend)
        return Injected(nullptr);
    if (!State.Folders.count(Folder(path).substr(0, Folder(path).size() - 1)))
        return Failed(nullptr, FakeNotFound);
    const bool exists = State.Files.count(path) != 0;
    if (create == exists)
        return Failed(nullptr, create ? FakeAccessDenied : FakeNotFound);
    State.Files[path];
    ++State.OpenFiles;
    return new TFileState{path};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    if (State.AppendsLeft == 0)
        return Injected(false);
    if (State.AppendsLeft > 0)
        --State.AppendsLeft;
    State.Files[file->Path].append(data, size);
    return true;
}

void CloseFile(TFileHandle file) {
    --State.OpenFiles;
    State.LockedHere.erase(file->Path);
    delete file;
}

// A folder on a recorded path that is now a link (or, on Windows, a
// reparse point) ends the walk from the root there.
constexpr uint32_t FakeLinkOnPath = HasDriveSyntax ? 4395 : 40; // REPARSE_POINT_ENCOUNTERED, ELOOP

TOwnership OwnershipOf(const std::string &path) {
    auto told = State.Ownership.find(path);
    if (told != State.Ownership.end())
        return told->second;
    return State.Folders.count(path) ? owOwn : owMissing;
}

TFileHandle OpenOwnFile(const std::string &path, TOwnership &problem) {
    auto told = State.Ownership.find(path);
    problem = told != State.Ownership.end() ? told->second
              : State.Files.count(path)     ? owOwn
                                            : owMissing;
    if (problem != owOwn)
        return Failed(nullptr, FakeNotFound);
    ++State.OpenFiles;
    return new TFileState{path};
}

bool ReadOwnFile(TFileHandle file, std::string &data) {
    data = State.Files[file->Path];
    return true;
}

bool TruncateFile(TFileHandle file, uint64_t size) {
    State.Files[file->Path].resize(size_t(size));
    return true;
}

bool LockFile(TFileHandle file) {
    if (State.LockedElsewhere.count(file->Path) || State.LockedHere.count(file->Path))
        return Failed(false, LockedCode);
    State.LockedHere.insert(file->Path);
    return true;
}

TFolderHandle OpenFolderNoFollow(const std::string &path) {
    for (size_t end = path.find(PathSeparator, 1);; end = path.find(PathSeparator, end + 1)) {
        auto it = FindItem(path.substr(0, end));
        if (it != State.Items.end() && it->second.IsLink)
            return Failed(nullptr, FakeLinkOnPath);
        if (end == std::string::npos)
            break;
    }
    return OpenFolderAt(path);
}

bool ListFiles(const std::string &folder, std::vector<TFileListing> &files) {
    files.clear();
    if (!State.Folders.count(folder))
        return Failed(false, FakeNotFound);
    for (const auto &[path, data] : State.Files)
        if (Folder(path) == folder + PathSeparator)
            files.push_back(TFileListing{
                Name(path), State.ListedSizes.count(path) ? State.ListedSizes[path] : data.size()});
    return true;
}

bool RemoveFile(const std::string &path) {
    if (State.FailRemove)
        return Injected(false);
    return State.Files.erase(path) != 0 || Failed(false, FakeNotFound);
}

void CatchInterrupts() {
    State.InterruptsCaught = true;
}

bool InterruptRequested() {
    ++State.InterruptChecks;
    return State.InterruptsCaught &&
           ((State.InterruptAt > 0 && State.InterruptChecks >= State.InterruptAt) ||
            (State.InterruptAfterWrites > 0 && State.Writes.size() >= State.InterruptAfterWrites));
}

struct TFakeKeyHandle {
    std::string Path; // lower-case key path
};

const std::string &KeyPathOf(TRegHandle key) {
    return reinterpret_cast<TFakeKeyHandle *>(key)->Path;
}

TRegHandle OpenHandle(const std::string &path) {
    std::string key = KeyOf(path);
    if (!State.Registry.count(key))
        return Failed(nullptr, FakeNotFound);
    ++State.OpenKeys;
    return reinterpret_cast<TRegHandle>(new TFakeKeyHandle{key});
}

TRegHandle RegOpen(const std::string &path) {
    return OpenHandle(path);
}

TRegHandle RegCreate(const std::string &path) {
    if (State.RegistryCreateFails)
        return Injected(nullptr);
    State.AddRegKey(path);
    return OpenHandle(path);
}

bool RegKeyExists(const std::string &path) {
    return State.Registry.count(KeyOf(path)) != 0 || Failed(false, FakeNotFound);
}

void RegClose(TRegHandle key) {
    --State.OpenKeys;
    delete reinterpret_cast<TFakeKeyHandle *>(key);
}

// The key behind an open handle; nullptr (with the reason kept) when it was deleted.
TFakeRegKey *KeyFor(TRegHandle key) {
    auto it = State.Registry.find(KeyPathOf(key));
    return it == State.Registry.end() ? Failed(nullptr, FakeNotFound) : &it->second;
}

TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value) {
    value.clear();
    TFakeRegKey *k = KeyFor(key);
    if (!k)
        return rvEmpty;
    auto it = k->Values.find(Lower(name));
    if (it == k->Values.end())
        return Failed(rvEmpty, FakeNotFound);
    if (it->second.Data.empty())
        return rvEmpty;
    if (it->second.Type != 1 && it->second.Type != 2)
        return rvWrongType;
    value = it->second.Data.substr(0, it->second.Data.find('\0'));
    return it->second.Inexact ? rvInexact : rvString;
}

bool SetValue(TRegHandle key, const std::string &name, uint32_t type, const std::string &data) {
    TFakeRegKey *k = KeyFor(key);
    if (!k)
        return false;
    if (State.RegistryWritesFail)
        return Injected(false);
    k->Values[Lower(name)] = TFakeRegValue{type, data};
    k->ValueNames[Lower(name)] = name;
    return true;
}

bool RegSetString(TRegHandle key, const std::string &name, const std::string &value) {
    return SetValue(key, name, 1, value);
}

bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[size_t(i)] = char((value >> (8 * i)) & 0xFF);
    return SetValue(key, name, 4, data);
}

std::vector<std::string> SubKeys(const std::string &key) {
    std::vector<std::string> result;
    for (const auto &[path, k] : State.Registry)
        if (path.size() > key.size() && path.compare(0, key.size(), key) == 0 &&
            path[key.size()] == '\\' && path.find('\\', key.size() + 1) == std::string::npos)
            result.push_back(path);
    return result;
}

int RegSubKeyCount(TRegHandle key) {
    return int(SubKeys(KeyPathOf(key)).size());
}

bool RegDeleteKey(const std::string &path) {
    std::string key = KeyOf(path);
    if (!State.Registry.count(key))
        return Failed(false, FakeNotFound);
    if (!SubKeys(key).empty())
        return Failed(false, FakeAccessDenied);
    State.Registry.erase(key);
    return true;
}

bool RegDeleteTree(const std::string &path) {
    std::string key = KeyOf(path);
    for (const std::string &sub : SubKeys(key))
        RegDeleteTree(sub);
    return RegDeleteKey(key);
}

bool IsNTFamily() {
    return State.IsNT;
}
uint64_t SystemTimeNow() {
    return State.Now;
}
bool UtcToLocal(uint64_t utc, uint64_t &local) {
    local = utc + uint64_t(State.LocalOffset);
    return true;
}
bool LocalToUtc(uint64_t local, uint64_t &utc) {
    utc = local - uint64_t(State.LocalOffset);
    return true;
}
bool LocalDateToUtc(uint64_t local, uint64_t &utc) {
    utc = local - uint64_t(local >= State.SummerFrom && local < State.SummerUntil
                               ? State.LocalOffset + State.SummerExtra
                               : State.LocalOffset);
    return true;
}
std::string ModuleFileName() {
    return State.ModulePath;
}
uint32_t ProgramBuild() {
    return State.Build;
}
bool CommandLineText(std::string &text, std::vector<bool> &standIn) {
    text = State.CommandLine;
    standIn = State.CommandLineStandIn;
    standIn.resize(text.size(), false);
    return State.HasCommandLineText || Failed(false, FakeNotFound);
}
std::vector<std::string> Arguments() {
    return State.Args;
}
bool GetEnv(const std::string &name, std::string &value, bool &exact) {
    auto it = State.Env.find(name);
    value = it != State.Env.end() ? it->second : "";
    exact = !State.InexactEnv.count(name);
    return it != State.Env.end() || Failed(false, FakeNotFound);
}
std::string LowerCase(const std::string &text) {
    return Lower(text);
}
std::string ToOemText(const std::string &text) {
    return text;
}
// The stand-in for code page 932 (see TFakeState::CodePage); the bytes of a
// double-byte character are a placeholder.
std::string ToCodePage(const std::string &text, std::vector<uint32_t> *lacked) {
    if (!State.CodePage)
        return text;
    std::string bytes;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        if (c < 0x80)
            bytes += char(c);
        else if (c >= 0xFF61 && c <= 0xFF9F)
            bytes += '\xB1';
        else if ((c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) ||
                 (c >= 0xFF01 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE5))
            bytes += "\x81\x40";
        else {
            bytes += '?';
            if (lacked)
                lacked->push_back(c);
        }
    }
    return bytes;
}
bool FromCodePage(const std::string &bytes, std::string &text) {
    text = bytes;
    return State.CodePageTextFails.empty() ||
           bytes.find(State.CodePageTextFails) == std::string::npos ||
           Failed(false, State.FailCode);
}
bool WriteStream(TStream stream, const char *data, size_t size) {
    if (stream == stdOutput) {
        if (State.FailOut)
            return Injected(false);
        State.Out.append(data, size);
    } else {
        if (State.FailErr)
            return Injected(false);
        State.Err.append(data, size);
    }
    return true;
}
bool IsTerminal(TStream stream) {
    return (stream == stdOutput ? State.OutIsTerminal : State.ErrIsTerminal) ||
           Failed(false, FakeNotFound);
}
// The text as it stands, whatever the form asked for.
bool WriteText(TStream stream, const char *text, size_t size, bool utf8) {
    (stream == stdOutput ? State.OutUtf8 : State.ErrUtf8) = utf8;
    return WriteStream(stream, text, size);
}
uint32_t LastErrorCode() {
    return State.LastError;
}
std::string ErrorText(uint32_t code) {
    return "error " + std::to_string(code);
}

const TPlatform FakeTable = {
    .IsNTFamily = IsNTFamily,
    .SystemTimeNow = SystemTimeNow,
    .UtcToLocal = UtcToLocal,
    .LocalToUtc = LocalToUtc,
    .ModuleFileName = ModuleFileName,
    .ProgramBuild = ProgramBuild,
    .CommandLineText = CommandLineText,
    .Arguments = Arguments,
    .GetEnv = GetEnv,
    .OpenFileLimit = OpenFileLimit,
    .ProcessorCount = ProcessorCount,
    .LowerCase = LowerCase,
    .SameName = SameNameFake,
    .ToOemText = ToOemText,
    .ToCodePage = ToCodePage,
    .FromCodePage = FromCodePage,
    .WriteStream = WriteStream,
    .IsTerminal = IsTerminal,
    .WriteText = WriteText,
    .FindFirst = FindFirst,
    .FindFirstIn = FindFirstIn,
    .FindNext = FindNext,
    .FindClose = FindClose,
    .OpenFolder = OpenFolder,
    .OpenSubFolder = OpenSubFolder,
    .CloseFolder = CloseFolder,
    .FolderIdentity = FolderIdentity,
    .ReadItem = ReadItem,
    .SetItemTimes = SetItemTimes,
    .CanSetCreationTime = CanSetCreationTime,
    .FullPathName = FullPathName,
    .IsDevice = IsDevice,
    .FileSystemName = FileSystemName,
    .FatVolumeOffset = FatVolumeOffset,
    .ShortPathName = ShortPathName,
    .ReadWholeFile = ReadWholeFile,
    .OpenForReading = OpenForReading,
    .ReadAt = ReadAt,
    .CloseReading = CloseReading,
    .LocalDateToUtc = LocalDateToUtc,
    .RunHiddenAndWait = RunHiddenAndWait,
    .StateFolder = StateFolderFake,
    .MakePrivateFolder = MakePrivateFolder,
    .OpenAppend = OpenAppend,
    .AppendFile = AppendFile,
    .CloseFile = CloseFile,
    .ListFiles = ListFiles,
    .RemoveFile = RemoveFile,
    .OwnershipOf = OwnershipOf,
    .OpenOwnFile = OpenOwnFile,
    .ReadOwnFile = ReadOwnFile,
    .TruncateFile = TruncateFile,
    .LockFile = LockFile,
    .OpenFolderNoFollow = OpenFolderNoFollow,
    .CatchInterrupts = CatchInterrupts,
    .InterruptRequested = InterruptRequested,
    .RegOpenRead = RegOpen,
    .RegOpenWrite = RegOpen,
    .RegCreate = RegCreate,
    .RegKeyExists = RegKeyExists,
    .RegClose = RegClose,
    .RegQueryString = RegQueryString,
    .RegSetString = RegSetString,
    .RegSetDword = RegSetDword,
    .RegSubKeyCount = RegSubKeyCount,
    .RegDeleteTree = RegDeleteTree,
    .RegDeleteKey = RegDeleteKey,
    .LastErrorCode = LastErrorCode,
    .ErrorText = ErrorText,
};

void AddParents(const std::string &path) {
    std::string folder = Folder(path);
    while (!folder.empty()) {
        std::string parent = folder;
        parent.pop_back();
        if (parent.empty() || (HasDriveSyntax && parent.size() == 2 && parent[1] == ':'))
            break;
        if (FindItem(parent) == State.Items.end()) {
            TFakeItem item;
            item.IsFolder = true;
            item.Id = ++State.LastId;
            State.Items[parent] = item;
        }
        folder = Folder(parent);
    }
}

} // namespace

void TFakeState::AddFile(const std::string &path, uint64_t write, uint64_t creation,
                         uint64_t access) {
    AddParents(path);
    TFakeItem item;
    item.LastWriteTime = write;
    item.CreationTime = creation;
    item.LastAccessTime = access;
    item.Id = ++LastId;
    Items[path] = item;
}

void TFakeState::AddFolder(const std::string &path, uint64_t write, uint64_t creation,
                           uint64_t access) {
    AddFile(path, write, creation, access);
    Items[path].IsFolder = true;
}

TFakeItem &TFakeState::Item(const std::string &path) {
    return Items.at(path);
}

void TFakeState::AddRegKey(const std::string &path) {
    std::string key = KeyOf(path);
    for (size_t pos = key.find('\\'); pos != std::string::npos; pos = key.find('\\', pos + 1))
        Registry[key.substr(0, pos)];
    Registry[key];
}

void TFakeState::SetRegValue(const std::string &key, const std::string &name, uint32_t type,
                             const std::string &data, bool inexact) {
    AddRegKey(key);
    Registry[KeyOf(key)].Values[Lower(name)] = TFakeRegValue{type, data, inexact};
    Registry[KeyOf(key)].ValueNames[Lower(name)] = name;
}

bool TFakeState::HasRegKey(const std::string &path) const {
    return Registry.count(KeyOf(path)) != 0;
}

const TFakeRegValue *TFakeState::RegValue(const std::string &key, const std::string &name) const {
    auto k = Registry.find(KeyOf(key));
    if (k == Registry.end())
        return nullptr;
    auto v = k->second.Values.find(Lower(name));
    return v == k->second.Values.end() ? nullptr : &v->second;
}

TFakeState &Fake() {
    return State;
}

TFakePlatformScope::TFakePlatformScope() {
    State = TFakeState();
    State.ModulePath = HasDriveSyntax ? "C:\\tools\\Kelvard.exe" : "/opt/tools/kelvard";
    State.CurrentFolder = HasDriveSyntax ? "C:\\work" : "/work";
    State.StateFolder = HasDriveSyntax ? "C:\\state\\Kelvard" : "/state/kelvard";
    SetPlatform(&FakeTable);
}

TFakePlatformScope::~TFakePlatformScope() {
    SetPlatform(nullptr);
}

std::string FakePath(std::initializer_list<std::string> parts) {
    std::string result;
    for (const std::string &part : parts) {
        if (!result.empty() && !IsSeparator(result.back()))
            result += PathSeparator;
        result += part;
    }
    return result;
}
