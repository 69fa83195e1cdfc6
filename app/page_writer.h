// The page writer: fills the template into the gallery's numbered pages (index.html,
// index2.html, ...), expanding the thumbnail tables and single thumbnails, the page defaults, the
// next and previous blocks and the @_name_@ variables, through one 10240-byte output buffer.
#pragma once

#include "app/settings.h"
#include "app/tag_language.h"
#include "app/typed_values.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TSafeFileWriter;

// Size of the output buffer; pages are written in blocks of this size.
constexpr size_t PageBufferSize = 10240;

// What the writer asks of the gallery run while it writes.
class IPageWriterHost
{
public:
    virtual ~IPageWriterHost() = default;
    // Makes the thumbnail of picture Index fitted into the box; a failure is the run's to report.
    virtual void MakeThumbnail(int32_t Index, int32_t BoxWidth, int32_t BoxHeight) = 0;
    // A page file is about to be created or written: every thumbnail asked for so far must be
    // on the disk first, so that a disk that fills up sees the writes in page order.
    virtual void BeforePageWrite() = 0;
    // One more placement tag or picture cell is done.
    virtual void StepProgress() = 0;
    // A page file could not be created: the message box with Text, which gives the reason.
    virtual void ShowMessage(const std::string& Text) = 0;
    // Bytes could not be written to an open page file, or the complete page could not take its
    // name, for the system's Reason ("No space left on device"); the page has left no file.
    virtual void WriteFailed(const std::string& FileName, const std::string& Reason) = 0;
};

// Where the pages go and the defaults each page starts from.
struct TPageWriterSettings
{
    std::string GalleryPath; // ends in "/"
    std::string Prefix;      // the picture folder's name and "/"
    // The table settings, with BoxWidth and BoxHeight holding the thumbnail size.
    ThumbStr Defaults;
};

// Why NextOutputTag stopped.
enum TPageWriterError : uint8_t
{
    pwNone,
    // A page file could not be created or written.
    pwWriteFailed,
    // A whole pass over the template placed no picture while pictures remain.
    pwNoPlacement,
};

// One step of NextOutputTag: the tag found, or an empty name at the end of a pass or for text
// that is to be copied unchanged (a script block).
struct TOutputTag
{
    std::string Name;
    TTemplateTag Tag;
    TPageWriterError Error = pwNone;
};

// How WritePages ended.
enum TPagesResult : uint8_t
{
    prDone,
    prFailed,      // a page could not be created or written
    prNoPlacement, // a pass over the template placed no picture
    prCancelled,
};

// Each page is written beside its name and takes the name only once complete: a page that
// cannot be written leaves no file, and a page written over an earlier one leaves that one as it
// was until then. A page still open when the writer goes is dropped.
class TPageWriter
{
public:
    // Pictures are the names of the processed pictures in the picture folder, in page order;
    // their thumbnails carry the same names with the extension ".jpg". PageVars holds the eight
    // page variables, which NextPage advances; TemplateParams may be nil.
    TPageWriter(std::string_view TemplateText, TPageWriterSettings Settings,
                const std::vector<std::string>& Pictures, TVqValues& PageVars,
                const TVqValues* TemplateParams, IPageWriterHost& Host);
    ~TPageWriter();
    TPageWriter(const TPageWriter&) = delete;
    TPageWriter& operator=(const TPageWriter&) = delete;

    // Writes the template text before the next tag into the page and reads that tag. At the end
    // of the template it writes the rest, starts the next page while MoreImages is set and sets
    // Position back to 0, where the next pass begins. Position is the last character consumed.
    TOutputTag NextOutputTag(size_t& Position, TVqValues& Attributes);
    // Writes what one of the writer's tags stands for, placing pictures from Index on and
    // advancing it; false when the tag is not the writer's (the caller writes it unchanged).
    // Index becomes -1 when a write failed.
    bool ExpandThumbsTag(int32_t& Index, const std::string& Name, const TVqValues& Attributes, bool Place);
    // Finishes the current page and opens the next one; false when either fails.
    bool NextPage();
    // Writes a piece of page text, unless a conditional block hides it on this page; false when
    // a page file could not be created or written.
    bool WriteOutput(std::string_view Text);
    // The text with every @_name_@ replaced by the page variable or template parameter of that
    // name (case ignored); unknown names and an unclosed @_ stay as written.
    std::string SubstituteParams(std::string_view Text) const;
    // Writes what is left in the buffer and gives the page its name; false when that failed.
    bool Finish();

    // Writes every page: the template again and again while pictures remain, placing them from
    // the first on, then the rest of the last page with fillers in the placement tags. After
    // each tag AfterTag is told whether pictures were still being placed; false from it cancels.
    // The last page stays open (Finish closes it).
    TPagesResult WritePages(const std::function<bool(bool Placing)>& AfterTag);

    bool PageOpen() const { return FPageFile != nullptr; }
    // Pages that have taken their names.
    int32_t PagesWritten = 0;
    int32_t PageNumber = 0;
    int32_t TotalPages = 1;
    // Set while pictures remain to be placed: the end of the template then starts a new page.
    bool MoreImages = false;
    bool InNext = false;
    bool InPrev = false;
    bool InNextElse = false;
    bool InPrevElse = false;

private:
    void ResetPageDefaults();
    bool TextHidden() const;
    bool OpenPage(int32_t Number);
    bool Flush();
    bool ClosePage();
    std::string PageFileName(int32_t Number) const;
    std::string PictureLink(int32_t Index) const;
    std::string ThumbnailSource(int32_t Index) const;
    std::string SpacerImage(int32_t BoxWidth, int32_t BoxHeight) const;
    bool WriteTagHtml(int32_t& Index, const std::string& Html);
    bool ExpandThumb(int32_t& Index, const TVqValues& Attributes, bool Place);
    bool ExpandThumbs(int32_t& Index, const TVqValues& Attributes);
    void ApplyThumbOption(const TVqValues& Attributes);
    bool SetBlockFlags(const std::string& Name);

    std::string FTemplate;
    TPageWriterSettings FSettings;
    const std::vector<std::string>& FPictures;
    TVqValues& FPageVars;
    const TVqValues* FTemplateParams;
    IPageWriterHost& FHost;
    // The page's defaults: reset at the top of the template, changed by "thumboption".
    ThumbStr FPage;
    std::vector<char> FOutBuffer;
    size_t FOutCount = 0;
    std::unique_ptr<TSafeFileWriter> FPageFile;
    std::string FPageFileName;
    int32_t FPlacedInPass = 0;
};

// The picture's name as it may stand in an href or src: bytes other than letters, digits and
// "._~/-" are percent-encoded.
std::string EncodeUrlPath(const std::string& Name);

// The eight page variables, created in PageVars with their first-page values.
void CreatePageVariables(TVqValues& PageVars);
