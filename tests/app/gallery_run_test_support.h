// What the gallery tests share: the fixture pictures and templates, independent checks of a
// finished gallery by standard tools (djpeg, identify, gifsicle, tidy, an HTML parser), and a
// gallery folder with little room.
#pragma once

#include "app/status_window_icons.h"
#include "platform/core/detail/write_room.h"
#include "platform/core/files.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "tests/support/tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace gallerytest {

// The source tree is the program folder: templates/ and data/ as shipped.
inline std::string SourceFolder()
{
    return std::string(KV_SOURCE_DIR) + "/";
}

// JPEG, PNG, GIF and BMP pictures (two pairs whose names clash once written), a text file, a
// hidden picture, "thumbs.db" and a sub-folder with a picture inside.
inline std::string FixtureImages()
{
    return std::string(KV_TEST_DATA_DIR) + "/app/gallery/images/";
}

inline std::string FixtureFolder()
{
    return std::string(KV_TEST_DATA_DIR) + "/app/gallery/";
}

struct TToolResult
{
    int ExitCode = -1;
    std::string Output;
};

inline std::string Quoted(const std::string& Text)
{
    std::string quoted = "'";
    for (char c : Text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a shell command; its standard output (and error, when asked) is returned.
inline TToolResult RunTool(const std::string& Command, bool WithErrors = false)
{
    TToolResult result;
    result.Output = kvtest::RunTool(Command + (WithErrors ? " 2>&1" : " 2>/dev/null"), &result.ExitCode);
    return result;
}

struct TPictureSize
{
    int Width = -1;
    int Height = -1;
    bool operator==(const TPictureSize&) const = default;
};

// The size djpeg decodes; -1 x -1 when it fails or warns about the data.
inline TPictureSize JpegSize(const std::string& FileName)
{
    const TToolResult header = RunTool("djpeg -pnm " + Quoted(FileName) + " | head -c 32");
    const TToolResult warnings = RunTool("djpeg -pnm " + Quoted(FileName) + " 2>&1 >/dev/null", true);
    TPictureSize size;
    if (!warnings.Output.empty() ||
        std::sscanf(header.Output.c_str(), "P%*d %d %d", &size.Width, &size.Height) != 2) {
        return TPictureSize{};
    }
    return size;
}

// The quality ImageMagick reads back from the quantization tables.
inline int JpegQuality(const std::string& FileName)
{
    return std::atoi(RunTool("identify -format %Q " + Quoted(FileName)).Output.c_str());
}

// The size of a GIF file that gifsicle reads without complaint; -1 x -1 otherwise. (giftext
// stops at a comment extension without text, which the GIF writer puts into every file.)
inline TPictureSize GifSize(const std::string& FileName)
{
    const TToolResult decoded = RunTool("gifsicle --unoptimize " + Quoted(FileName) + " -o /dev/null", true);
    if (decoded.ExitCode != 0 || !decoded.Output.empty()) {
        return TPictureSize{};
    }
    TPictureSize size;
    const TToolResult identify = RunTool("identify -format '%w %h' " + Quoted(FileName + "[0]"));
    std::sscanf(identify.Output.c_str(), "%d %d", &size.Width, &size.Height);
    return size;
}

// tidy's report on a page when it finds errors (warnings are allowed); empty when none.
inline std::string TidyErrors(const std::string& FileName)
{
    const TToolResult tidy = RunTool("tidy -q -e " + Quoted(FileName), true);
    return tidy.ExitCode >= 2 ? tidy.Output : std::string();
}

// Every href and src of every page of the folder, as Python's HTML parser reads them, that names
// no file of the folder; the first line counts the references checked.
inline std::string BrokenLinks(const std::string& Folder)
{
    static const char* const script = R"(
import html.parser, os, sys, urllib.parse
root = sys.argv[1]
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.refs = []
    def handle_starttag(self, tag, attrs):
        self.refs += [v for k, v in attrs if k in ('href', 'src') and v]
checked, broken = 0, []
for name in sorted(os.listdir(root)):
    if name.endswith('.html'):
        page = Page()
        page.feed(open(os.path.join(root, name), encoding='utf-8', errors='replace').read())
        for ref in page.refs:
            parts = urllib.parse.urlsplit(ref)
            if parts.scheme or parts.netloc or not parts.path:
                continue
            checked += 1
            if not os.path.isfile(os.path.join(root, urllib.parse.unquote(parts.path))):
                broken.append(name + ': ' + ref)
print('checked', checked)
print('\n'.join(broken))
)";
    return RunTool("python3 -c " + Quoted(script) + " " + Quoted(Folder), true).Output;
}

// The entries under Folder, relative, sorted, folders ending in "/".
inline std::vector<std::string> FolderTree(const std::string& Folder, const std::string& Base = "")
{
    std::vector<std::string> tree;
    for (const TDirEntry& entry : ListDirectory(Folder + Base)) {
        if (entry.IsDirectory()) {
            tree.push_back(Base + entry.Name + "/");
            for (const std::string& inner : FolderTree(Folder, Base + entry.Name + "/")) {
                tree.push_back(inner);
            }
        } else {
            tree.push_back(Base + entry.Name);
        }
    }
    return tree;
}

// The one sub-folder of Folder whose name is Length lower-case hexadecimal digits, with its "/".
inline std::string RandomFolder(const std::string& Folder, size_t Length)
{
    for (const TDirEntry& entry : ListDirectory(Folder)) {
        if (entry.IsDirectory() && entry.Name.size() == Length &&
            entry.Name.find_first_not_of("0123456789abcdef") == std::string::npos) {
            return entry.Name + "/";
        }
    }
    return std::string();
}

// The gallery folder has room for Bytes more bytes while it lives: the file layer's writes into
// it stop short past them, as on a disk that fills up; writes elsewhere go on.
class TGalleryRoom
{
public:
    TGalleryRoom(const std::string& Folder, int64_t Bytes)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FFolder = std::filesystem::canonical(Folder).string() + "/";
        FLeft = Bytes;
        kvcore_detail::gWriteRoomHook = &Room;
    }
    ~TGalleryRoom() { kvcore_detail::gWriteRoomHook = nullptr; }
    TGalleryRoom(const TGalleryRoom&) = delete;
    TGalleryRoom& operator=(const TGalleryRoom&) = delete;

    // The room not taken yet.
    int64_t Left() const
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FLeft;
    }

private:
    static int64_t Room(int Handle, int64_t Count)
    {
        char path[PATH_MAX];
        const ssize_t length =
            ::readlink(("/proc/self/fd/" + std::to_string(Handle)).c_str(), path, sizeof path);
        std::lock_guard<std::mutex> lock(FLock);
        if (length <= 0 || std::string(path, static_cast<size_t>(length)).rfind(FFolder, 0) != 0) {
            return Count;
        }
        const int64_t room = std::min(Count, FLeft);
        FLeft -= room;
        return room;
    }

    static inline std::mutex FLock;
    static inline std::string FFolder;
    static inline int64_t FLeft = 0;
};

// The icon an image control shows: the name of the resource with its pixels, or empty.
inline std::string IconOf(TImage* Image)
{
    TPicture* picture = Image->Picture();
    if (picture->Width() == 0) {
        return "";
    }
    TBitmap* shown = picture->Bitmap();
    for (const char* name : {"check", "failed", "clock_0", "clock_1", "clock_2", "clock_3", "clock_4",
                             "clock_5", "clock_6", "clock_7"}) {
        TBitmap icon;
        LoadBitmapResource(name, icon);
        bool same = icon.Width() == shown->Width() && icon.Height() == shown->Height();
        for (int32_t y = 0; same && y < icon.Height(); ++y) {
            for (int32_t x = 0; same && x < icon.Width(); ++x) {
                same = icon.Canvas()->Pixels(x, y) == shown->Canvas()->Pixels(x, y);
            }
        }
        if (same) {
            return name;
        }
    }
    return "?";
}

inline bool IsClock(const std::string& Icon)
{
    return Icon.rfind("clock_", 0) == 0;
}

// Runs Step each time the application lets posted messages through, until it returns true:
// once at every status change of a run, as the run processes messages after each.
class TEachMessagePass : public TForm
{
public:
    explicit TEachMessagePass(std::function<bool()> Step) : TForm(nullptr), FStep(std::move(Step)) { Post(); }
    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg == WM_USER + 91) {
            if (!FStep()) {
                Post();
            }
            return;
        }
        TForm::Dispatch(Message);
    }

private:
    void Post() { PostMessage(Handle(), WM_USER + 91, 0, 0); }
    std::function<bool()> FStep;
};

} // namespace gallerytest
