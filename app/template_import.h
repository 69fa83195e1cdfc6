// Import of an ordinary HTML page as a template: the style sheets, pictures and animations it
// refers to are copied into a folder of their own under random names and the references
// rewritten; and the random names themselves.
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

// Reads Source, copies every file it refers to (by the extensions .css, .swf, .jpg, .gif and
// .png, in any case) once into Destination + FolderName + "/", and rewrites each reference to
// FolderName + "/" + the copy's name. With Write set, the page is written to Destination +
// OutputName (Destination + "template.html" when OutputName is empty), otherwise unchanged byte
// for byte. References with a scheme ("http:", "data:", ...) or starting with "//" are left as
// they are. A file that cannot be read or written is reported in a message box and gives false.
bool ImportHtmlTemplate(const std::string& Source, const std::string& Destination,
                        const std::string& FolderName, bool Write, const std::string& OutputName);

// Length random lower-case hexadecimal digits.
std::string RandomName(int32_t Length);
// RandomName(Length) + Extension, naming nothing that exists in Folder.
std::string RandomFileName(const std::string& Folder, const std::string& Extension, int32_t Length);
// The first record whose source path equals Path without regard to case.
const TempFileStr* FindTempFile(const std::vector<TempFileStr>& List, const std::string& Path);
