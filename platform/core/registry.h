// TRegistry: the current user's registry keys, kept in one text file in INI form: a section per
// key path ("[Software\Daskor\Plimbet\1.0\Options]") and typed values ("name=s:text",
// "name=i:42", "name=b:0a0b"). Key and value names are found without regard to ASCII case.
// Every change replaces the file atomically, so a crash leaves the old file whole; a missing or
// unreadable file reads as empty, and a corrupt one is set aside as "<file>.corrupt".
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <string>
#include <vector>

class TStrings;

using HKEY = uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

enum TRegDataType : uint8_t
{
    rdUnknown,
    rdString,
    rdExpandString,
    rdInteger,
    rdBinary
};

// The store file: KORVANE_REGISTRY_FILE when set, else the name given by the program at
// start-up, else ConfigFolder() + "Daskor/Plimbet.conf".
void SetRegistryFileName(const std::string& FileName);
std::string RegistryFileName();

class TRegistry : public TObject
{
public:
    TRegistry();
    ~TRegistry() override;

    // Only HKEY_CURRENT_USER has a store; keys under other roots never open.
    HKEY RootKey() const { return FRootKey; }
    void SetRootKey(HKEY Value);

    // Key paths use "\" between names. A path starting with "\" is taken from the root, any
    // other from the open key. CanCreate creates a missing key (and writes the store).
    bool OpenKey(const std::string& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::string& Key);
    void CloseKey();
    // Raises ERegistryException when the key cannot be created.
    bool CreateKey(const std::string& Key);
    // Deletes the key with its values and subkeys.
    bool DeleteKey(const std::string& Key);
    bool KeyExists(const std::string& Key);
    bool HasSubKeys();
    // Names of the open key's subkeys and values.
    void GetKeyNames(TStrings& Strings);
    void GetValueNames(TStrings& Strings);
    // Nonzero while a key is open.
    HKEY CurrentKey() const { return FCurrentKey; }
    // The open key's path from the root, without leading "\".
    const std::string& CurrentPath() const { return FCurrentPath; }

    bool ValueExists(const std::string& Name);
    bool DeleteValue(const std::string& Name);
    TRegDataType GetDataType(const std::string& Name);
    // Bytes of the value's data (a string's without terminator), -1 when it does not exist.
    int32_t GetDataSize(const std::string& Name);

    // A missing value reads as "".
    std::string ReadString(const std::string& Name);
    // Reading a missing value of the other types, or a value stored with another type, raises
    // ERegistryException; callers choose their defaults.
    int32_t ReadInteger(const std::string& Name);
    bool ReadBool(const std::string& Name);
    // Copies the data into Buffer and returns its size; raises when BufSize is too small.
    int32_t ReadBinaryData(const std::string& Name, void* Buffer, int32_t BufSize);
    std::vector<uint8_t> ReadBinary(const std::string& Name);

    // Writing without an open key, into a read-only key, or when the store cannot be written
    // raises ERegistryException.
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteInteger(const std::string& Name, int32_t Value);
    void WriteBool(const std::string& Name, bool Value);
    void WriteBinaryData(const std::string& Name, const void* Buffer, int32_t BufSize);

private:
    std::string ResolvePath(const std::string& Key) const;
    void CheckWritable(const std::string& Name) const;

    HKEY FRootKey = HKEY_CURRENT_USER;
    HKEY FCurrentKey = 0;
    std::string FCurrentPath;
    bool FReadOnly = false;
};
