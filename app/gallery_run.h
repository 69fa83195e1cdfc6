// The gallery run: from the images folder and the chosen template it fills the gallery folder
// with re-encoded pictures, JPEG thumbnails and numbered, linked pages, in four stages that it
// reports to a status interface (the status window, or none at all).
#pragma once

#include "app/page_writer.h"
#include "app/typed_values.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKVBitmap;
class TKorvaneIO;
class TKorvaneProc;

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
    virtual void AdvanceProgress() = 0;
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
// template parameters. Everything runs on the calling thread; the run owns its bitmap, I/O and
// processing components for its length.
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

    // The clock frame last shown, kept from run to run.
    static int32_t ClockFrame;

private:
    // Preparation and stages; false ends the run (the stage has been failed or cancelled).
    bool Prepare();
    bool ChooseTemplate(std::string& TemplatePath, bool& Reported);
    bool AnalyseTemplate();
    bool CheckPictures();
    bool ProcessPictures();
    bool WritePages();
    void CleanUp();
    void RemoveUnusedPictureFolder();

    void FailStage(int32_t Stage);
    void SetStatusIcon(int32_t Stage, const std::string& ResourceName);
    void StepProgress(int32_t Stage);
    bool CancelPoint();

    // The I/O parameters as a new component has them, with the run's LZW coders.
    void StartFromDefaultParams();
    // The bitmap is emptied and the parameters start from their defaults first; a load counts only when it
    // ended without abort and gave a picture. Exceptions of a codec or a file stay here.
    bool LoadPicture(const std::string& FileName);
    bool SavePicture(const std::string& FileName, bool AsGif, int32_t Quality);
    void ResampleToFit(int32_t BoxWidth, int32_t BoxHeight);
    void AssignOutputNames();
    void UpdatePageCount();
    void AddError(const std::string& Line);
    // A picture of the images folder that the gallery will not show, and why.
    void LeaveOut(const std::string& Name, const std::string& Reason);
    bool TooLarge(const std::string& FileName);

    // IPageWriterHost
    void MakeThumbnail(int32_t Index, int32_t BoxWidth, int32_t BoxHeight) override;
    void StepProgress() override { StepProgress(gsPages); }
    void ShowMessage(const std::string& Text) override;
    void WriteFailed(const std::string& FileName) override;

    IGalleryStatus& FStatus;
    std::string FImagesPath;
    std::string FGalleryPath;
    std::string FTemplateText;
    std::string FPrefix;
    std::string FTargetFolder;
    std::string FPicturesFolder;
    bool FImportedTemplate = false;
    bool FCancelled = false;
    int32_t FPicturesPerPage = 0;
    int32_t FTotalPages = 0;
    // Source names as the folder gives them, and the names the run writes them under.
    std::vector<std::string> FFileList;
    std::vector<std::string> FPictures;
    TVqValues FPageVars;
    std::unique_ptr<TKVBitmap> FBitmap;
    std::unique_ptr<TKorvaneIO> FIO;
    std::unique_ptr<TKorvaneProc> FProc;
    std::unique_ptr<TPageWriter> FWriter;
    // Pictures, thumbnails and pages that could not be read or written.
    std::vector<std::string> FErrors;
};

// Adds to List the name of every entry of Folder that matches Mask, has an attribute bit in
// common with Wanted and none with Refused, and is not "thumbs.db" (case ignored); returns the
// number added, or -1 when the folder cannot be read.
int32_t ListImageFiles(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List,
                       int32_t Wanted, int32_t Refused);

struct TFittedSize
{
    int32_t Width = 0;
    int32_t Height = 0;
};

// A Width x Height picture fitted into the box, enlarged or reduced: the limiting side equals
// the box and the other keeps the ratio, truncated; never below 1.
TFittedSize FitToBox(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight);
