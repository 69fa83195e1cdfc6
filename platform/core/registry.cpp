// TRegistry over one text store. The store is read afresh for every call and, after a change,
// replaced atomically; a process-wide lock keeps the read-change-write of one call whole.
#include "platform/core/registry.h"

#include "platform/core/detail/text_helpers.h"
#include "platform/core/detail/whole_file.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using kvcore_detail::TReadResult;

// Registry values are small; this keeps the store far below what it will read back.
constexpr size_t kMaxValueSize = 1 << 20;

std::mutex gStoreLock;
std::string gRegistryFileName;

struct TRegValue
{
    std::string Name;
    TRegDataType Type = rdUnknown;
    std::string Data; // text, or the bytes of a binary value
    int32_t Integer = 0;
};

struct TRegKey
{
    std::string Path; // names joined by "\", as first written
    std::vector<TRegValue> Values;
};

struct TRegStore
{
    std::vector<TRegKey> Keys;
    TReadResult Status = TReadResult::Missing;

    TRegKey* Find(const std::string& Path)
    {
        for (TRegKey& key : Keys) {
            if (SameText(key.Path, Path)) {
                return &key;
            }
        }
        return nullptr;
    }
    // True for a stored key and for every key above one.
    bool Exists(const std::string& Path) const
    {
        if (Path.empty()) {
            return true;
        }
        for (const TRegKey& key : Keys) {
            if (SameText(key.Path, Path) || (key.Path.size() > Path.size() && key.Path[Path.size()] == '\\' &&
                                             SameText(key.Path.substr(0, Path.size()), Path))) {
                return true;
            }
        }
        return false;
    }
};

TRegValue* FindValue(TRegKey* Key, const std::string& Name)
{
    if (!Key) {
        return nullptr;
    }
    for (TRegValue& value : Key->Values) {
        if (SameText(value.Name, Name)) {
            return &value;
        }
    }
    return nullptr;
}

// ---- text form ----

const char kHex[] = "0123456789abcdef";

// Percent-escapes what would break a line of the store: control bytes, "%", and for names the
// characters of the syntax and blanks at either end.
std::string Escape(const std::string& Text, bool IsName)
{
    std::string result;
    for (size_t i = 0; i < Text.size(); ++i) {
        auto c = static_cast<unsigned char>(Text[i]);
        bool escape = c < 0x20 || c == 0x7F || c == '%';
        if (IsName) {
            escape = escape || c == '=' || c == '[' || c == ']' || c == ';' || c == '#' ||
                     (c == ' ' && (i == 0 || i + 1 == Text.size()));
        }
        if (escape) {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 15];
        } else {
            result += static_cast<char>(c);
        }
    }
    return result;
}

bool Unescape(const std::string& Text, std::string& Result)
{
    Result.clear();
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '%') {
            Result += Text[i];
            continue;
        }
        int high = i + 1 < Text.size() ? kvcore_detail::HexDigitValue(Text[i + 1]) : -1;
        int low = i + 2 < Text.size() ? kvcore_detail::HexDigitValue(Text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return false;
        }
        Result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool DecodeBinary(const std::string& Text, std::string& Bytes)
{
    if (Text.size() % 2 != 0) {
        return false;
    }
    Bytes.clear();
    for (size_t i = 0; i < Text.size(); i += 2) {
        int high = kvcore_detail::HexDigitValue(Text[i]);
        int low = kvcore_detail::HexDigitValue(Text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        Bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

std::string EncodeBinary(const std::string& Bytes)
{
    std::string text;
    for (char byte : Bytes) {
        auto b = static_cast<unsigned char>(byte);
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

// The names of a key path, split at "\"; empty names are kept.
std::vector<std::string> SplitKeyPath(const std::string& Path)
{
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        size_t slash = Path.find('\\', start);
        if (slash == std::string::npos) {
            names.push_back(Path.substr(start));
            return names;
        }
        names.push_back(Path.substr(start, slash - start));
        start = slash + 1;
    }
}

std::string EscapePath(const std::string& Path)
{
    std::string result;
    bool first = true;
    for (const std::string& name : SplitKeyPath(Path)) {
        if (!first) {
            result += '\\';
        }
        result += Escape(name, true);
        first = false;
    }
    return result;
}

// Parses the store; on failure Error says where and why.
bool ParseStore(const std::string& Text, TRegStore& Store, std::string& Error)
{
    TRegKey* current = nullptr;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find('\n', start);
        if (end == std::string::npos) {
            end = Text.size();
        }
        std::string line = Text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        auto fail = [&](const std::string& Why) {
            Error = "line " + std::to_string(lineNumber) + ": " + Why;
            return false;
        };
        if (Trim(line).empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                return fail("unterminated key name");
            }
            std::string path;
            if (!Unescape(line.substr(1, line.size() - 2), path)) {
                return fail("bad escape in key name");
            }
            current = Store.Find(path);
            if (!current) {
                Store.Keys.push_back(TRegKey{path, {}});
                current = &Store.Keys.back();
            }
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return fail("neither a key nor a value");
        }
        if (!current) {
            return fail("value outside any key");
        }
        TRegValue value;
        if (!Unescape(line.substr(0, equals), value.Name)) {
            return fail("bad escape in value name");
        }
        std::string data = line.substr(equals + 1);
        if (data.size() < 2 || data[1] != ':') {
            return fail("value without a type");
        }
        std::string payload = data.substr(2);
        switch (data[0]) {
        case 's':
        case 'e':
            value.Type = data[0] == 's' ? rdString : rdExpandString;
            if (!Unescape(payload, value.Data)) {
                return fail("bad escape in text value");
            }
            break;
        case 'i':
            value.Type = rdInteger;
            if (!TryStrToInt(payload, value.Integer)) {
                return fail("bad integer value");
            }
            break;
        case 'b':
            value.Type = rdBinary;
            if (!DecodeBinary(payload, value.Data)) {
                return fail("bad binary value");
            }
            break;
        default:
            return fail("unknown value type");
        }
        if (TRegValue* existing = FindValue(current, value.Name)) {
            *existing = value;
        } else {
            current->Values.push_back(value);
        }
    }
    return true;
}

std::string FormatStore(const TRegStore& Store)
{
    std::string text;
    for (const TRegKey& key : Store.Keys) {
        if (!text.empty()) {
            text += '\n';
        }
        text += Concat("[", EscapePath(key.Path), "]\n");
        for (const TRegValue& value : key.Values) {
            text += Escape(value.Name, true) + "=";
            switch (value.Type) {
            case rdInteger:
                text += Concat("i:", IntToStr(value.Integer));
                break;
            case rdBinary:
                text += Concat("b:", EncodeBinary(value.Data));
                break;
            case rdExpandString:
                text += Concat("e:", Escape(value.Data, false));
                break;
            default:
                text += Concat("s:", Escape(value.Data, false));
                break;
            }
            text += '\n';
        }
    }
    return text;
}

// Moves a corrupt store out of the way under a name that no earlier one holds.
bool SetAside(const std::string& FileName, const std::string& Why)
{
    std::string target = FileName + ".corrupt";
    bool moved = RenameFile(FileName, target);
    for (int n = 1; !moved && n < 1000 && FileExists(target); ++n) {
        target = FileName + ".corrupt." + std::to_string(n);
        moved = RenameFile(FileName, target);
    }
    if (moved) {
        std::fprintf(stderr,
                     "The settings file %s is damaged (%s). It was kept as %s; the settings start empty.\n",
                     FileName.c_str(), Why.c_str(), target.c_str());
    } else {
        std::fprintf(
            stderr, "The settings file %s is damaged (%s) and could not be set aside; it is left as it is.\n",
            FileName.c_str(), Why.c_str());
    }
    return moved;
}

TRegStore LoadStore(const std::string& FileName)
{
    TRegStore store;
    std::string text;
    store.Status = kvcore_detail::ReadWholeFile(FileName, text);
    if (store.Status != TReadResult::Ok) {
        return store;
    }
    std::string error;
    if (!ParseStore(text, store, error)) {
        const bool setAside = SetAside(FileName, error);
        store = TRegStore();
        // A damaged file that is still in place must not be replaced by a write.
        store.Status = setAside ? TReadResult::Missing : TReadResult::Unreadable;
    }
    return store;
}

bool SaveStore(const std::string& FileName, const TRegStore& Store)
{
    if (Store.Status == TReadResult::Unreadable) {
        return false; // replacing a file we could not read would lose it
    }
    return kvcore_detail::WriteWholeFile(FileName, FormatStore(Store), 0600);
}

// "\a\\b\" -> "a\b": empty names dropped.
std::string NormalizePath(const std::string& Path)
{
    std::string result;
    for (const std::string& name : SplitKeyPath(Path)) {
        if (!name.empty()) {
            result += (result.empty() ? "" : "\\") + name;
        }
    }
    return result;
}

[[noreturn]] void WriteFailed(const std::string& Name)
{
    throw ERegistryException("Failed to set data for '" + Name + "'");
}

} // namespace

void SetRegistryFileName(const std::string& FileName)
{
    std::lock_guard<std::mutex> lock(gStoreLock);
    gRegistryFileName = FileName;
}

std::string RegistryFileName()
{
    const char* overridden = std::getenv("KORVANE_REGISTRY_FILE");
    if (overridden && *overridden) {
        return overridden;
    }
    {
        std::lock_guard<std::mutex> lock(gStoreLock);
        if (!gRegistryFileName.empty()) {
            return gRegistryFileName;
        }
    }
    return ConfigFolder() + "Daskor/Plimbet.conf";
}

TRegistry::TRegistry() = default;

TRegistry::~TRegistry()
{
    CloseKey();
}

void TRegistry::SetRootKey(HKEY Value)
{
    if (Value != FRootKey) {
        CloseKey();
        FRootKey = Value;
    }
}

std::string TRegistry::ResolvePath(const std::string& Key) const
{
    const bool relative = Key.empty() || Key[0] != '\\';
    if (relative && FCurrentKey != 0) {
        return NormalizePath(FCurrentPath + "\\" + Key);
    }
    return NormalizePath(Key);
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate)
{
    if (FRootKey != HKEY_CURRENT_USER) {
        return false;
    }
    const std::string path = ResolvePath(Key);
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    if (!store.Exists(path)) {
        if (!CanCreate) {
            return false;
        }
        store.Keys.push_back(TRegKey{path, {}});
        if (!SaveStore(fileName, store)) {
            return false;
        }
    }
    const TRegKey* stored = store.Find(path);
    FCurrentPath = stored ? stored->Path : path;
    FCurrentKey = 1;
    FReadOnly = false;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key)
{
    if (!OpenKey(Key, false)) {
        return false;
    }
    FReadOnly = true;
    return true;
}

void TRegistry::CloseKey()
{
    FCurrentKey = 0;
    FCurrentPath.clear();
    FReadOnly = false;
}

bool TRegistry::CreateKey(const std::string& Key)
{
    if (FRootKey != HKEY_CURRENT_USER) {
        throw ERegistryException("Failed to create key " + Key);
    }
    const std::string path = ResolvePath(Key);
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    if (store.Find(path) || path.empty()) {
        return true;
    }
    store.Keys.push_back(TRegKey{path, {}});
    if (!SaveStore(fileName, store)) {
        throw ERegistryException("Failed to create key " + Key);
    }
    return true;
}

bool TRegistry::DeleteKey(const std::string& Key)
{
    if (FRootKey != HKEY_CURRENT_USER) {
        return false;
    }
    const std::string path = ResolvePath(Key);
    if (path.empty()) {
        return false; // the root stays
    }
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    if (!store.Exists(path)) {
        return false;
    }
    std::erase_if(store.Keys, [&](const TRegKey& key) {
        return SameText(key.Path, path) || (key.Path.size() > path.size() && key.Path[path.size()] == '\\' &&
                                            SameText(key.Path.substr(0, path.size()), path));
    });
    return SaveStore(fileName, store);
}

bool TRegistry::KeyExists(const std::string& Key)
{
    if (FRootKey != HKEY_CURRENT_USER) {
        return false;
    }
    const std::string path = ResolvePath(Key);
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    return LoadStore(fileName).Exists(path);
}

bool TRegistry::HasSubKeys()
{
    if (FCurrentKey == 0) {
        return false;
    }
    TStringList names;
    GetKeyNames(names);
    return names.Count() > 0;
}

void TRegistry::GetKeyNames(TStrings& Strings)
{
    Strings.Clear();
    if (FCurrentKey == 0) {
        return;
    }
    const std::string fileName = RegistryFileName();
    TRegStore store;
    {
        std::lock_guard<std::mutex> lock(gStoreLock);
        store = LoadStore(fileName);
    }
    const std::string prefix = FCurrentPath.empty() ? std::string() : FCurrentPath + "\\";
    std::vector<std::string> names;
    for (const TRegKey& key : store.Keys) {
        if (key.Path.size() <= prefix.size() || !SameText(key.Path.substr(0, prefix.size()), prefix)) {
            continue;
        }
        std::string child = key.Path.substr(prefix.size());
        child = child.substr(0, child.find('\\'));
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return SameText(n, child); })) {
            names.push_back(child);
        }
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    for (const std::string& name : names) {
        Strings.Add(name);
    }
}

void TRegistry::GetValueNames(TStrings& Strings)
{
    Strings.Clear();
    if (FCurrentKey == 0) {
        return;
    }
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    if (TRegKey* key = store.Find(FCurrentPath)) {
        for (const TRegValue& value : key->Values) {
            Strings.Add(value.Name);
        }
    }
}

namespace {

// A copy of the value of the open key, if there is one.
bool LoadValue(const std::string& Path, bool Open, const std::string& Name, TRegValue& Value)
{
    if (!Open) {
        return false;
    }
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    TRegValue* found = FindValue(store.Find(Path), Name);
    if (!found) {
        return false;
    }
    Value = *found;
    return true;
}

[[noreturn]] void ReadFailed(const std::string& Name)
{
    throw ERegistryException("Failed to get data for '" + Name + "'");
}

[[noreturn]] void WrongType(const std::string& Name)
{
    throw ERegistryException("Invalid data type for '" + Name + "'");
}

} // namespace

bool TRegistry::ValueExists(const std::string& Name)
{
    TRegValue value;
    return LoadValue(FCurrentPath, FCurrentKey != 0, Name, value);
}

bool TRegistry::DeleteValue(const std::string& Name)
{
    if (FCurrentKey == 0 || FReadOnly) {
        return false;
    }
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    TRegKey* key = store.Find(FCurrentPath);
    if (!key) {
        return false;
    }
    auto removed =
        std::erase_if(key->Values, [&](const TRegValue& value) { return SameText(value.Name, Name); });
    return removed > 0 && SaveStore(fileName, store);
}

TRegDataType TRegistry::GetDataType(const std::string& Name)
{
    TRegValue value;
    return LoadValue(FCurrentPath, FCurrentKey != 0, Name, value) ? value.Type : rdUnknown;
}

int32_t TRegistry::GetDataSize(const std::string& Name)
{
    TRegValue value;
    if (!LoadValue(FCurrentPath, FCurrentKey != 0, Name, value)) {
        return -1;
    }
    return value.Type == rdInteger ? 4 : static_cast<int32_t>(value.Data.size());
}

std::string TRegistry::ReadString(const std::string& Name)
{
    TRegValue value;
    if (!LoadValue(FCurrentPath, FCurrentKey != 0, Name, value)) {
        return std::string();
    }
    if (value.Type != rdString && value.Type != rdExpandString) {
        WrongType(Name);
    }
    return value.Data;
}

int32_t TRegistry::ReadInteger(const std::string& Name)
{
    TRegValue value;
    if (!LoadValue(FCurrentPath, FCurrentKey != 0, Name, value)) {
        ReadFailed(Name);
    }
    if (value.Type != rdInteger) {
        WrongType(Name);
    }
    return value.Integer;
}

bool TRegistry::ReadBool(const std::string& Name)
{
    return ReadInteger(Name) != 0;
}

std::vector<uint8_t> TRegistry::ReadBinary(const std::string& Name)
{
    TRegValue value;
    if (!LoadValue(FCurrentPath, FCurrentKey != 0, Name, value)) {
        ReadFailed(Name);
    }
    if (value.Type != rdBinary) {
        WrongType(Name);
    }
    return std::vector<uint8_t>(value.Data.begin(), value.Data.end());
}

int32_t TRegistry::ReadBinaryData(const std::string& Name, void* Buffer, int32_t BufSize)
{
    std::vector<uint8_t> data = ReadBinary(Name);
    if (BufSize < 0 || data.size() > static_cast<size_t>(BufSize)) {
        ReadFailed(Name);
    }
    if (!data.empty()) {
        std::memcpy(Buffer, data.data(), data.size());
    }
    return static_cast<int32_t>(data.size());
}

void TRegistry::CheckWritable(const std::string& Name) const
{
    if (FCurrentKey == 0 || FReadOnly) {
        WriteFailed(Name);
    }
}

namespace {

void StoreValue(const std::string& Path, TRegValue Value)
{
    const std::string name = Value.Name;
    if (Value.Data.size() > kMaxValueSize) {
        WriteFailed(name);
    }
    const std::string fileName = RegistryFileName();
    std::lock_guard<std::mutex> lock(gStoreLock);
    TRegStore store = LoadStore(fileName);
    TRegKey* key = store.Find(Path);
    if (!key) {
        // The key was opened (it may exist only as the parent of others) or deleted since.
        store.Keys.push_back(TRegKey{Path, {}});
        key = &store.Keys.back();
    }
    if (TRegValue* existing = FindValue(key, Value.Name)) {
        Value.Name = existing->Name;
        *existing = std::move(Value);
    } else {
        key->Values.push_back(std::move(Value));
    }
    if (!SaveStore(fileName, store)) {
        WriteFailed(name);
    }
}

} // namespace

void TRegistry::WriteString(const std::string& Name, const std::string& Value)
{
    CheckWritable(Name);
    StoreValue(FCurrentPath, TRegValue{Name, rdString, Value, 0});
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value)
{
    CheckWritable(Name);
    StoreValue(FCurrentPath, TRegValue{Name, rdInteger, std::string(), Value});
}

void TRegistry::WriteBool(const std::string& Name, bool Value)
{
    WriteInteger(Name, Value ? 1 : 0);
}

void TRegistry::WriteBinaryData(const std::string& Name, const void* Buffer, int32_t BufSize)
{
    CheckWritable(Name);
    if (BufSize < 0 || (BufSize > 0 && !Buffer)) {
        WriteFailed(Name);
    }
    std::string data;
    if (BufSize > 0) {
        data.assign(static_cast<const char*>(Buffer), static_cast<size_t>(BufSize));
    }
    StoreValue(FCurrentPath, TRegValue{Name, rdBinary, std::move(data), 0});
}
