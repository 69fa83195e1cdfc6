// The gallery run: from the images folder and the chosen template it fills the gallery folder
// with re-encoded pictures, JPEG thumbnails and numbered, linked pages, in four stages that it
// reports to a status interface (the status window, or none at all).
#pragma once

#include "app/folder_identity.h"
#include "app/page_writer.h"
#include "app/typed_values.h"
#include "platform/core/streams.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TPictureWorkers;
struct TPictureTools;

// The four stages, as the status window numbers its rows.
enum TGalleryStage : int32_t
{
    gsTemplate = 1,
    gsPictures = 2,
    gsProcessing = 3,
    gsPages = 4,
};

// What the run tells the user and asks of the user-interface thread.
class IGalleryStatus
{
public:
    virtual ~IGalleryStatus() = default;
    // The row of a stage appears (stage 1's is always shown).
    virtual void ShowStage(int32_t Stage) = 0;
    // The stage's icon becomes the bitmap resource of that name: "check", "failed" or a clock
    // frame "clock_0" to "clock_7".
    virtual void SetStageIcon(int32_t Stage, const std::string& ResourceName) = 0;
    // The progress bar of the current stage.
    virtual void SetProgress(int32_t Maximum, int32_t Position) = 0;
    virtual void ShowFilesFound(int32_t Count) = 0;
    // "Gallery successfully created".
    virtual void ShowSuccess() = 0;
    // A failure, in a message box with the stop icon.
    virtual void ShowMessage(const std::string& Text) = 0;
    // The errors window with Text.
    virtual void ShowErrors(const std::string& Text) = 0;
    // Lets pending window messages through: repaints, and the Cancel button.
    virtual void ProcessMessages() = 0;
    virtual bool CancelRequested() = 0;
};

enum TGalleryResult : uint8_t
{
    grSucceeded,
    grFailed,
    grCancelled,
};

// One gallery run over the current settings (GallerySettings), the installed templates and the
// template parameters. The run and its status reports stay on the calling thread; the pictures
// are decoded, fitted and encoded into memory by GallerySettings.Threads workers (each with its
// own bitmap, I/O and processing components). Their results are taken, and their files written,
// on the calling thread in list order, between the page writes as one worker would make them, so
// that the gallery is byte for byte what one worker makes, on a disk that fills up too. While the
// workers decode, the calling thread keeps the status alive, and a cancel stops their loads at
// the next tile, band or row.
class TGalleryRun : private IPageWriterHost
{
public:
    explicit TGalleryRun(IGalleryStatus& Status);
    ~TGalleryRun() override;
    TGalleryRun(const TGalleryRun&) = delete;
    TGalleryRun& operator=(const TGalleryRun&) = delete;

    TGalleryResult CreateGallery();

    // After a run: the picture folder's name with its "/", the processed pictures' names in
    // page order, and the number of pages.
    const std::string& Prefix() const { return FPrefix; }
    const std::vector<std::string>& Pictures() const { return FPictures; }
    int32_t TotalPages() const { return FTotalPages; }
    // The number of workers the run made its pictures with.
    int32_t Workers() const { return FWorkerCount; }

    // The clock frame last shown, kept from run to run.
    static int32_t ClockFrame;

private:
    // Preparation and stages; false ends the run (the stage has been failed or cancelled). The
    // preparation analyses the template (stage 1) before it empties the gallery folder.
    bool Prepare();
    bool ReadPageText(const std::string& FileName, std::string& Reason);
    bool FindUsablePicture();
    bool ChooseTemplate(std::string& TemplatePath, bool& Reported);
    bool AnalyseTemplate();
    bool CheckPictures();
    bool ProcessPictures();
    bool WritePages();
    // Done: every stage ran to its end.
    void CleanUp(bool Done);
    void RemoveUnusedPictureFolder();

    void FailStage(int32_t Stage);
    void SetStatusIcon(int32_t Stage, const std::string& ResourceName);
    // The bar of a stage of Steps steps, each StepSize long.
    void StartProgress(int32_t Steps, int32_t StepSize = 1);
    void StepProgress(int32_t Stage);
    void TurnClock(int32_t Stage);
    // A cancel asked for stops the run there, and the workers' loads at their next tile, band or
    // row; false once the run is cancelled.
    bool CancelPoint();
    // While the workers are busy in Stage: the window's messages go through, the stage's clock
    // turns, the bar of the pictures stage follows the pictures in hand, and a cancel stops them.
    void WhileWorking(int32_t Stage);

    // Hands out Count jobs in list order, no more at a time than the workers have room for, and
    // lets Finished take each result on this thread in list order, followed by a cancel point.
    // Cancelled, it hands out no more, stops the jobs in hand and waits for them, taking none of
    // their results; then it returns false.
    bool RunJobs(size_t Count, const std::function<std::function<void(TPictureTools&)>(size_t)>& MakeJob,
                 const std::function<void(size_t)>& Finished);
    // Writes the thumbnails finished so far in page order (waiting up to TimeoutMs for the next
    // one when asked to).
    void CollectThumbnails(uint32_t TimeoutMs);
    // Waits for every thumbnail in hand and writes it.
    void FinishThumbnails();
    void DeleteStagedPictures();
    void AssignOutputNames();
    void UpdatePageCount();
    void AddError(const std::string& Line);
    // A line about the user's photo ListIndex of the images folder's listing, Photo: what of it
    // failed, with the reason.
    void AddPictureError(size_t ListIndex, const std::string& Photo, const std::string& What);
    bool HasErrors() const { return !FPictureErrors.empty() || !FErrors.empty(); }
    size_t ErrorCount() const { return FPictureErrors.size() + FErrors.size(); }

    // IPageWriterHost
    void MakeThumbnail(int32_t Index, int32_t BoxWidth, int32_t BoxHeight) override;
    void BeforePageWrite() override
    {
        FPageStarted = true;
        FinishThumbnails();
    }
    void StepProgress() override { StepProgress(gsPages); }
    void ShowMessage(const std::string& Text) override;
    void WriteFailed(const std::string& FileName, const std::string& Reason) override;

    IGalleryStatus& FStatus;
    std::string FImagesPath;
    std::string FGalleryPath;
    std::string FTemplateText;
    std::string FPrefix;
    std::string FTargetFolder;
    std::string FPicturesFolder;
    bool FImportedTemplate = false;
    int32_t FWorkerCount = 0;
    int32_t FProgressMaximum = 0;
    int32_t FProgressPosition = 0;
    int32_t FProgressStep = 1;
    std::chrono::steady_clock::time_point FClockTurned;
    // The folder of the template's own files copied into the gallery, empty when none.
    std::string FTemplateFiles;
    TMadeFolders FMadeFolders;
    bool FCancelled = false;
    // Set once the writer starts on a page: from then on a page may refer to the template's files.
    bool FPageStarted = false;
    int32_t FPicturesPerPage = 0;
    int32_t FTotalPages = 0;
    // Source names as the folder gives them, and the names the run writes them under.
    std::vector<std::string> FFileList;
    std::vector<std::string> FPictures;
    TVqValues FPageVars;
    // What the check of each picture made: in stage 2 every readable picture is decoded once and
    // written, fitted and encoded, under a hidden name in the picture folder, which stage 3
    // renames to the picture's own once every name is known.
    struct TCheckedPicture
    {
        size_t ListIndex = 0; // in the listing of the images folder
        bool Readable = false;
        std::string Reason; // why a picture that is not readable is left out; empty: in silence
        std::string Staged; // the hidden file, while it exists
        std::unique_ptr<TMemoryStream> Encoded; // the encoded picture until it is written
        bool Written = false;                   // the encoded picture is in Staged
        std::string WriteReason;                // why it could not be encoded or written
    };
    std::vector<TCheckedPicture> FChecked;
    // The picture the preparation's search found, stored as stage 2 stores it, until stage 2
    // takes it.
    struct TFirstPicture
    {
        std::string Name;
        std::unique_ptr<TMemoryStream> Encoded;
    };
    TFirstPicture FFirstPicture;
    // Thumbnails handed to the workers in stage 4, in page order, until they are written.
    struct TThumbnailJob
    {
        size_t ListIndex = 0; // the photo's, in the listing of the images folder
        std::string Photo;    // the photo's name there
        std::string FileName;
        std::string Reason; // why the thumbnail could not be made or written
        std::unique_ptr<TMemoryStream> Encoded;
    };
    std::deque<TThumbnailJob> FThumbnails;
    int64_t FThumbnailTickets = 0;
    std::unique_ptr<TPictureWorkers> FWorkers;
    std::unique_ptr<TPageWriter> FWriter;
    // The lines about the user's photos, by their place in the images folder's listing: the
    // errors window names them in that order, whichever stage found the fault.
    std::map<size_t, std::string> FPictureErrors;
    // Other files that could not be read or written: the filler and the pages.
    std::vector<std::string> FErrors;
};

// Adds to List the name of every entry of Folder that matches Mask, has an attribute bit in
// common with Wanted and none with Refused, and is not "thumbs.db" (case ignored); returns the
// number added, or -1 when the folder cannot be read. A symbolic link that leads nowhere has the
// attributes of a regular file.
int32_t ListImageFiles(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List,
                       int32_t Wanted, int32_t Refused);

// Why a run stops when the images folder holds no picture it can use.
inline constexpr const char* NoPicturesMessage = "Graphic files are not found in the images folder";

// Told of picture ListIndex of a folder's listing, Name, that cannot be used, and why.
using TUnusablePicture =
    std::function<void(size_t ListIndex, const std::string& Name, const std::string& Reason)>;

// Told of the picture found, Name, while the tools still hold it as loaded.
using TFoundPicture = std::function<void(const std::string& Name)>;

// Whether Folder (with its trailing "/") holds a picture a run can use: an entry ListImageFiles
// gives that loads as the run's check of the pictures loads it. The search ends at the first such
// picture, of which Found is told; before it, Unusable is told of each file that is a picture by
// its name but cannot be used. Files that are no pictures by their name pass in silence. The
// tools' stop ends the search (with false) at the next tile, band or row of the picture being
// loaded.
bool HoldsUsablePicture(TPictureTools& Tools, const std::string& Folder, const TUnusablePicture& Unusable,
                        const TFoundPicture& Found = {});
// Whether Folder seems to hold a picture a run can use, by the headers of its entries
// (HeaderShowsPicture): quick enough for the window's own thread whatever the pictures. The run's
// own search, which loads them, decides.
bool MayHoldUsablePicture(const std::string& Folder);
