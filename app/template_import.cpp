// Import of an HTML page as a template, and random names.
#include "app/template_import.h"

#include "app/file_utils.h"
#include "app/message_box.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/random.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"
#include "platform/core/threads.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string_view>

std::string TemplateOpenFailure(const std::string& FileName, const std::string& Reason)
{
    return WithReason("Can't open the template file: " + ShownName(FileName), Reason);
}

std::string RandomName(int32_t Length)
{
    std::string name;
    while (static_cast<int32_t>(name.size()) < Length) {
        // The tick count mixes the clock into the generator's sequence; made odd, it can never
        // wipe out bits of the random number.
        const uint32_t product = static_cast<uint32_t>(Random(0x7FFFFFFF)) * (GetTickCount() | 1u);
        const std::string digits = IntToHex(product, 8);
        name += digits.substr(0, static_cast<size_t>(Length) - name.size());
    }
    return LowerCase(name);
}

std::string RandomFileName(const std::string& Folder, const std::string& Extension, int32_t Length)
{
    const std::string folder = IncludeTrailingPathDelimiter(Folder);
    for (;;) {
        const std::string name = RandomName(Length) + Extension;
        // Any entry counts, a dangling link too: a copy must never be written through one.
        struct stat info
        {
        };
        if (::lstat((folder + name).c_str(), &info) != 0) {
            return name;
        }
    }
}

const TempFileStr* FindTempFile(const std::vector<TempFileStr>& List, const std::string& Path)
{
    for (const TempFileStr& record : List) {
        if (SameText(record.SourcePath, Path)) {
            return &record;
        }
    }
    return nullptr;
}

namespace {

constexpr std::string_view ReferencedExtensions[] = {"css", "swf", "jpg", "gif", "png"};

// "." and one of the extensions of the files a page brings along, in any case.
bool IsReferencedExtension(std::string_view Text, size_t Dot)
{
    if (Text[Dot] != '.') {
        return false;
    }
    const std::string extension = LowerCase(std::string(Text.substr(Dot + 1, 3)));
    for (std::string_view known : ReferencedExtensions) {
        if (extension == known) {
            return true;
        }
    }
    return false;
}

// What stands between a reference and the text around it: a quote, "=", a blank, a bracket or
// a comma.
constexpr std::string_view ReferenceDelimiters = "'\"= \t\r\n\f\v()<>,";

// A reference starts after the nearest delimiter before it, and never before the end of the
// reference rewritten last.
size_t ReferenceStart(std::string_view Text, size_t Dot, size_t Limit)
{
    size_t start = Dot;
    while (start > Limit && ReferenceDelimiters.find(Text[start - 1]) == std::string_view::npos) {
        --start;
    }
    return start;
}

// "http:", "data:", "mailto:" and the like, or a network path "//host/...": not a local file.
bool IsExternalReference(std::string_view Reference)
{
    if (Reference.substr(0, 2) == "//") {
        return true;
    }
    if (Reference.empty() || std::isalpha(static_cast<unsigned char>(Reference[0])) == 0) {
        return false;
    }
    for (size_t i = 1; i < Reference.size(); ++i) {
        const char c = Reference[i];
        if (c == ':') {
            return true;
        }
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

// Whether the reference ending before Start is part of a URL with a scheme: a "data:" URL,
// whose text may hold commas and file names, or an address such as "https://host/a,b.png".
// The URL starts after the nearest quote, blank or bracket, or after the "=" of an unquoted
// attribute value.
bool InsideSchemeUrl(std::string_view Text, size_t Start)
{
    constexpr std::string_view delimiters = "'\" \t\r\n\f\v()<>";
    size_t from = Start;
    while (from > 0 && delimiters.find(Text[from - 1]) == std::string_view::npos) {
        --from;
    }
    const std::string_view url = Text.substr(from, Start - from);
    const size_t equals = url.find('=');
    return IsExternalReference(url) ||
           (equals != std::string_view::npos && IsExternalReference(url.substr(equals + 1)));
}

// Copies Source, a plain file, to Copy; false, with the file and the reason, when it could not.
bool CopyPlainFile(const std::string& Source, const std::string& Copy, TUncopiedFile& Uncopied)
{
    // A folder, device or pipe is no file to copy (and opening a pipe would wait for a writer).
    const int32_t attributes = FileGetAttr(Source);
    if (attributes != -1 && (attributes & (faDirectory | faSysFile)) != 0) {
        Uncopied = {Source, Copy, SysErrorMessage((attributes & faDirectory) != 0 ? EISDIR : EINVAL), false};
        return false;
    }
    TCopyFailure failure;
    if (CopyFile(Source, Copy, false, failure)) {
        return true;
    }
    Uncopied = {Source, Copy, ReasonIn(failure.Message, failure.FileName), failure.FileName == Copy};
    return false;
}

// Copies the referenced file once and gives the name of its copy, which the page names whether
// the copy was made or not.
const TempFileStr& CopyReferencedFile(std::vector<TempFileStr>& Files, const std::string& Path,
                                      const std::string& Extension, const std::string& FileFolder,
                                      std::vector<TUncopiedFile>& Uncopied)
{
    if (const TempFileStr* known = FindTempFile(Files, Path)) {
        return *known;
    }
    Files.push_back(TempFileStr{Path, RandomFileName(FileFolder, Extension, 8)});
    TUncopiedFile uncopied;
    if (!CopyPlainFile(Path, FileFolder + Files.back().NewName, uncopied)) {
        Uncopied.push_back(uncopied);
    }
    return Files.back();
}

std::string RewriteReferences(std::string_view Text, const std::string& SourceFolder,
                              const std::string& FileFolder, const std::string& FolderName,
                              std::vector<TUncopiedFile>& Uncopied)
{
    std::vector<TempFileStr> files;
    std::string output;
    output.reserve(Text.size());
    size_t copied = 0;
    size_t i = 0;
    while (i + 4 < Text.size()) {
        if (!IsReferencedExtension(Text, i)) {
            ++i;
            continue;
        }
        const size_t end = i + 4;
        const size_t start = ReferenceStart(Text, i, copied);
        const std::string reference(Text.substr(start, end - start));
        if (!IsExternalReference(reference) && !InsideSchemeUrl(Text, start)) {
            const std::string path =
                ExpandFileName(reference[0] == '/' ? reference : SourceFolder + reference);
            const TempFileStr& copy =
                CopyReferencedFile(files, path, reference.substr(i - start), FileFolder, Uncopied);
            output.append(Text.substr(copied, start - copied));
            output += FolderName + "/" + copy.NewName;
            copied = end;
        }
        i = end;
    }
    output.append(Text.substr(copied));
    return output;
}

// Whether a reference's file name ends at C: at a delimiter, or where a query or a fragment starts.
bool EndsFileName(char C)
{
    return ReferenceDelimiters.find(C) != std::string_view::npos || C == '?' || C == '#';
}

} // namespace

bool ImportHtmlTemplate(const std::string& Source, const std::string& Destination,
                        const std::string& FolderName, bool Write, const std::string& OutputName,
                        std::vector<TUncopiedFile>* Uncopied)
{
    std::string text;
    std::string reason;
    if (!ReadTemplateText(Source, text, &reason)) {
        ShowMessageBox(TemplateOpenFailure(Source, reason), MB_ICONSTOP);
        return false;
    }
    const std::string destination = IncludeTrailingPathDelimiter(Destination);
    const std::string fileFolder = destination + FolderName + "/";
    std::error_code folderError;
    std::filesystem::create_directories(fileFolder, folderError);
    if (folderError) {
        ShowMessageBox(WithReason("Can't create the folder: " + ShownName(fileFolder), folderError.message()),
                       MB_ICONSTOP);
        return false;
    }
    const std::string sourceFolder = ExtractFilePath(ExpandFileName(Source));

    const std::string outputName =
        destination + (OutputName.empty() ? std::string("template.html") : OutputName);
    const auto outputFailed = [&](const EStreamError& Error) {
        ShowMessageBox(WithReason("Can't create the file of the template: " + ShownName(outputName),
                                  ReasonIn(Error.what(), outputName)),
                       MB_ICONSTOP);
        return false;
    };
    // The page replaces a file of its name only once it is whole: one cut short by a full disk
    // would make every gallery from it broken.
    std::unique_ptr<TSafeFileWriter> output;
    if (Write) {
        try {
            output = std::make_unique<TSafeFileWriter>(outputName);
        } catch (const EStreamError& error) {
            return outputFailed(error);
        }
    }
    std::vector<TUncopiedFile> uncopied;
    const std::string page = RewriteReferences(text, sourceFolder, fileFolder, FolderName, uncopied);
    if (Write) {
        try {
            output->Stream().WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
            output->Commit();
        } catch (const EStreamError& error) {
            return outputFailed(error);
        }
    }
    if (Uncopied != nullptr) {
        *Uncopied = std::move(uncopied);
    }
    return true;
}

std::vector<TUncopiedFile> CopyTemplateImages(const std::string& Source, const std::string& Destination)
{
    const std::string source = IncludeTrailingPathDelimiter(Source);
    const std::string target = IncludeTrailingPathDelimiter(Destination);
    std::vector<TUncopiedFile> uncopied;
    // The listing gives no reason for a folder it cannot read: the folder is opened for one.
    DIR* folder = ::opendir(source.c_str());
    if (folder == nullptr) {
        uncopied.push_back({source, target, SysErrorMessage(errno), false});
        return uncopied;
    }
    ::closedir(folder);
    for (const TDirEntry& entry : ListDirectory(source)) {
        // Devices and pipes are no pictures, and opening a pipe would wait for a writer.
        if (entry.IsDirectory() || (entry.Attr & faSysFile) != 0) {
            continue;
        }
        TUncopiedFile failure;
        if (!CopyPlainFile(source + entry.Name, target + entry.Name, failure)) {
            uncopied.push_back(failure);
        }
    }
    return uncopied;
}

void AddMissingTemplateImages(const std::string& Page, const std::string& ImagesDir,
                              const std::string& Source, std::vector<TUncopiedFile>& Uncopied)
{
    const std::string source = IncludeTrailingPathDelimiter(Source);
    const auto listed = [&](const std::string& File) {
        return std::any_of(Uncopied.begin(), Uncopied.end(),
                           [&](const TUncopiedFile& Known) { return Known.Source == File; });
    };
    if (ImagesDir.empty() || listed(source)) {
        return;
    }
    const std::string prefix = ImagesDir + "/";
    for (size_t at = Page.find(prefix); at != std::string::npos; at = Page.find(prefix, at + 1)) {
        if (at > 0 && ReferenceDelimiters.find(Page[at - 1]) == std::string_view::npos) {
            continue;
        }
        const size_t start = at + prefix.size();
        size_t end = start;
        while (end < Page.size() && !EndsFileName(Page[end])) {
            ++end;
        }
        const std::string name = Page.substr(start, end - start);
        // Only the folder's own files come along: what lies in its sub-folders is not the gallery's.
        if (name.empty() || name.find('/') != std::string::npos || FileGetAttr(source + name) != -1 ||
            listed(source + name)) {
            continue;
        }
        Uncopied.push_back({source + name, std::string(), SysErrorMessage(ENOENT), false});
    }
}

std::string UncopiedLine(const TUncopiedFile& File)
{
    const bool folder = !File.Source.empty() && File.Source.back() == '/';
    return WithReasonInLine(
        (folder ? "Can't read the folder: " : "Can't copy the file: ") + ShownName(File.Source), File.Reason);
}
