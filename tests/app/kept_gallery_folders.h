// Gallery folders that a run must not empty though they pass for other folders or can be written
// to: the pictures' folder or one above it under another name (a bind mount, a link, a name in
// another case on a FAT disk), and folders holding what the user cannot delete (another user's
// page in a shared sticky folder, another user's folder, a mount), with a folder under a
// read-only one that cannot be made. The cases are meant for a thread that works as an ordinary
// user (TOrdinaryUser); those that take root (mounts, other users) are left out without it.
#pragma once

#include "platform/core/files.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace apptest {

struct TKeptFolder
{
    const char* Case;
    std::string Gallery;
    std::string Images;
    std::string Message;
};

class TKeptFolders
{
public:
    // Everything in Temp's folder "kept/", whose tree must stay as it is; Picture is the user's
    // photo, in "parent/Photos2024/" beside notes.
    TKeptFolders(kvtest::TempFolder& Temp, const std::string& Picture) : Root(Temp.File("kept/"))
    {
        const std::string photos = Root + "parent/Photos2024/";
        EXPECT_TRUE(ForceDirectories(photos) && CopyFile(Picture, photos + "photo.jpg", false));
        Temp.Write("kept/parent/notes.txt", "the user's notes");
        const std::string imagesInside =
            "The folder with images lies in the folder to create the gallery.\nPlease choose another folder.";
        const auto undeletable = [&](const std::string& Entry, const std::string& Folder,
                                     const std::string& Reason) {
            return "Can't delete " + Entry + " from the folder: " + Root + Folder + "\n" + Reason +
                   "\nNothing in it has been deleted.";
        };
        EXPECT_EQ(::symlink((Root + "parent").c_str(), (Root + "link").c_str()), 0);
        EXPECT_TRUE(ForceDirectories(Root + "locked/"));
        ::chmod((Root + "locked").c_str(), 0555);
        Cases = {
            {"link", Root + "link/", photos, imagesInside},
            {"parent read-only", Root + "locked/gallery/", photos,
             "Can't create the folder: " + Root + "locked/gallery/\nPermission denied"},
        };
        if (::geteuid() != 0) {
            return;
        }
        Bind(Root + "parent", Root + "alias/");
        Bind(photos, Root + "holder/photos/");
        Temp.Write("kept/holder/index.html", "the user's earlier gallery");
        EXPECT_TRUE(ForceDirectories(Root + "card/"));
        FCard = std::make_unique<kvtest::TSmallDisk>(Root + "card/", 4 << 20, kvtest::TSmallDisk::Fat);
        EXPECT_TRUE(FCard->Mounted) << FCard->Why;
        EXPECT_TRUE(ForceDirectories(Root + "card/DCIM/100/") &&
                    CopyFile(Picture, Root + "card/DCIM/100/a.jpg", false));
        // A drop folder shared by a team, where another user has replaced the page of the user's
        // earlier gallery; and an earlier gallery holding another user's folder.
        EXPECT_TRUE(ForceDirectories(Root + "shared/0a1b2c3d/") && ForceDirectories(Root + "web/album/"));
        for (const char* file :
             {"shared/0a1b2c3d/one.jpg", "shared/index.html", "web/index.html", "web/album/notes.txt"}) {
            Temp.Write(std::string("kept/") + file, file);
        }
        for (const char* other : {"shared", "shared/index.html", "web/album", "web/album/notes.txt"}) {
            EXPECT_EQ(::chown((Root + other).c_str(), OtherUser, OtherUser), 0) << other;
        }
        ::chmod((Root + "shared").c_str(), 01777);
        const std::vector<TKeptFolder> asRoot = {
            {"bind mount", Root + "alias/", photos, imagesInside},
            {"name in another case on FAT", Root + "card/dcim/", Root + "card/DCIM/100/", imagesInside},
            {"sticky folder", Root + "shared/", photos,
             undeletable("index.html", "shared/", "Operation not permitted")},
            {"another user's folder", Root + "web/", photos,
             undeletable("album/notes.txt", "web/", "Permission denied")},
            {"mount inside", Root + "holder/", Root + "parent/Photos2024/",
             undeletable("photos/", "holder/", "Device or resource busy")},
        };
        Cases.insert(Cases.end(), asRoot.begin(), asRoot.end());
    }
    static constexpr uid_t OtherUser = 65534;
    const std::string Root;
    std::vector<TKeptFolder> Cases;

private:
    void Bind(const std::string& Source, const std::string& Folder)
    {
        EXPECT_TRUE(ForceDirectories(Folder));
        FBound.push_back(std::make_unique<kvtest::TBoundFolder>(Source, Folder));
        EXPECT_TRUE(FBound.back()->Mounted) << FBound.back()->Why;
    }

    std::vector<std::unique_ptr<kvtest::TBoundFolder>> FBound;
    std::unique_ptr<kvtest::TSmallDisk> FCard;
};

} // namespace apptest
