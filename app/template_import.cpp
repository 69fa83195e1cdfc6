// Import of an HTML page as a template, and random names.
#include "app/template_import.h"

#include "app/file_utils.h"
#include "app/message_box.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/random.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"

#include <sys/stat.h>

#include <cctype>
#include <memory>
#include <string_view>

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

// A reference starts after the nearest quote, "=", blank, bracket or comma before it, and never
// before the end of the reference rewritten last.
size_t ReferenceStart(std::string_view Text, size_t Dot, size_t Limit)
{
    constexpr std::string_view delimiters = "'\"= \t\r\n\f\v()<>,";
    size_t start = Dot;
    while (start > Limit && delimiters.find(Text[start - 1]) == std::string_view::npos) {
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

// Copies the referenced file once and gives the name of its copy.
const TempFileStr& CopyReferencedFile(std::vector<TempFileStr>& Files, const std::string& Path,
                                      const std::string& Extension, const std::string& FileFolder)
{
    if (const TempFileStr* known = FindTempFile(Files, Path)) {
        return *known;
    }
    Files.push_back(TempFileStr{Path, RandomFileName(FileFolder, Extension, 8)});
    // A folder, device or pipe is no file to copy (and opening a pipe would wait for a writer).
    const int32_t attributes = FileGetAttr(Path);
    if (attributes != -1 && (attributes & (faDirectory | faSysFile)) == 0) {
        CopyFile(Path, FileFolder + Files.back().NewName, false);
    }
    return Files.back();
}

std::string RewriteReferences(std::string_view Text, const std::string& SourceFolder,
                              const std::string& FileFolder, const std::string& FolderName)
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
                CopyReferencedFile(files, path, reference.substr(i - start), FileFolder);
            output.append(Text.substr(copied, start - copied));
            output += FolderName + "/" + copy.NewName;
            copied = end;
        }
        i = end;
    }
    output.append(Text.substr(copied));
    return output;
}

} // namespace

bool ImportHtmlTemplate(const std::string& Source, const std::string& Destination,
                        const std::string& FolderName, bool Write, const std::string& OutputName)
{
    std::string text;
    std::string reason;
    if (!ReadTemplateText(Source, text, &reason)) {
        ShowMessageBox(WithReason("Can't open the template file", reason), MB_ICONSTOP);
        return false;
    }
    const std::string destination = IncludeTrailingPathDelimiter(Destination);
    const std::string fileFolder = destination + FolderName + "/";
    ForceDirectories(fileFolder);
    const std::string sourceFolder = ExtractFilePath(ExpandFileName(Source));

    const std::string outputName =
        destination + (OutputName.empty() ? std::string("template.html") : OutputName);
    // The page replaces a file of its name only once it is whole: one cut short by a full disk
    // would make every gallery from it broken.
    std::unique_ptr<TSafeFileWriter> output;
    if (Write) {
        try {
            output = std::make_unique<TSafeFileWriter>(outputName);
        } catch (const EStreamError& error) {
            ShowMessageBox(
                WithReason("Can't create the file of the template", ReasonIn(error.what(), outputName)),
                MB_ICONSTOP);
            return false;
        }
    }
    const std::string page = RewriteReferences(text, sourceFolder, fileFolder, FolderName);
    if (Write) {
        try {
            output->Stream().WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
            output->Commit();
        } catch (const EStreamError& error) {
            ShowMessageBox(
                WithReason("Can't create the file of the template", ReasonIn(error.what(), outputName)),
                MB_ICONSTOP);
            return false;
        }
    }
    return true;
}
