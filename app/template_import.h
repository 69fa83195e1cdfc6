// Import of an ordinary HTML page as a template: the style sheets, pictures and animations it
// refers to are copied into a folder of their own under random names and the references
// rewritten; the copy of an installed template's own files into a gallery; and random names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file found by an import.
struct TempFileStr
{
    std::string SourcePath; // the referenced file's absolute path
    std::string NewName;    // its random name with the reference's extension
};

// A file a template brings along that could not be copied: the file, its copy, and why. A
// folder that could not be read stands for all it holds.
struct TUncopiedFile
{
    std::string Source;
    std::string Copy;
    std::string Reason;
    // The copy could not be written; otherwise the file could not be read.
    bool CopyFailed = false;
};

// Reads Source, copies every file it refers to (by the extensions .css, .swf, .jpg, .gif and
// .png, in any case) once into Destination + FolderName + "/", and rewrites each reference to
// FolderName + "/" + the copy's name, whether the copy was made or not. With Write set, the page
// is written to Destination + OutputName (Destination + "template.html" when OutputName is
// empty), otherwise unchanged byte for byte. References with a scheme ("http:", "data:", ...) or
// starting with "//" are left as they are. A page that cannot be read or written, or a folder for
// its files that cannot be made, is reported in a message box and gives false. Each referenced
// file that could not be found or copied goes to Uncopied, when given, in page order.
bool ImportHtmlTemplate(const std::string& Source, const std::string& Destination,
                        const std::string& FolderName, bool Write, const std::string& OutputName,
                        std::vector<TUncopiedFile>* Uncopied = nullptr);

// Copies every file of a template's images folder Source (sub-folders, devices and pipes
// excluded) into Destination, replacing files of the same name. Returns each file that could
// not be copied, or Source itself when it cannot be read.
std::vector<TUncopiedFile> CopyTemplateImages(const std::string& Source, const std::string& Destination);
// Adds to Uncopied each file directly inside the images folder ImagesDir that Page refers to
// ("ImagesDir/name") but the template's folder Source lacks; nothing when Uncopied holds Source
// itself, and nothing twice.
void AddMissingTemplateImages(const std::string& Page, const std::string& ImagesDir,
                              const std::string& Source, std::vector<TUncopiedFile>& Uncopied);
// The errors window's line of a file that could not be copied: "Can't copy the file: <name>
// (<reason>)", or "Can't read the folder: ..." for a folder.
std::string UncopiedLine(const TUncopiedFile& File);

// Why a template page FileName cannot be used, as a message box shows it: "Can't open the template
// file: <name>", a line break and the system's Reason.
std::string TemplateOpenFailure(const std::string& FileName, const std::string& Reason);

// Length random lower-case hexadecimal digits.
std::string RandomName(int32_t Length);
// RandomName(Length) + Extension, naming nothing that exists in Folder.
std::string RandomFileName(const std::string& Folder, const std::string& Extension, int32_t Length);
// The first record whose source path equals Path without regard to case.
const TempFileStr* FindTempFile(const std::vector<TempFileStr>& List, const std::string& Path);
