// The gallery run: preparation, the four stages and the clean-up.
#include "app/gallery_run.h"

#include "app/file_utils.h"
#include "app/gallery_pictures.h"
#include "app/message_box.h"
#include "app/picture_workers.h"
#include "app/settings.h"
#include "app/tag_language.h"
#include "app/template_import.h"
#include "app/template_params.h"
#include "app/templates.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"

#include <algorithm>
#include <cerrno>
#include <set>

int32_t TGalleryRun::ClockFrame = 0;

namespace {

// Hidden entries and folders are never pictures; nor are devices, sockets and pipes, whose
// reading could block the run.
constexpr int32_t RefusedAttributes = faHidden | faDirectory | faSysFile;

const char* const NoPlacementMessage = "Tags to icon placement are not found in the template";

std::string PageUrl(int32_t Number)
{
    return Number <= 1 ? std::string("index.html") : "index" + IntToStr(Number) + ".html";
}

void SetVariable(TVqValues& Vars, const char* Name, int32_t Value)
{
    if (TVqValue* entry = Vars.Find(Name)) {
        entry->SetInteger(Value);
    }
}

void SetVariable(TVqValues& Vars, const char* Name, const std::string& Value)
{
    if (TVqValue* entry = Vars.Find(Name)) {
        entry->SetString(Value);
    }
}

// A template's image folder is one name inside its template folder and inside the gallery.
bool IsPlainFolderName(const std::string& Name)
{
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos;
}

// Adds the pictures a valid placement tag shows to Count; errors of a placement tag go to Errors.
void CountPlacement(const std::string& Name, const TVqValues& Attributes, int32_t Line, std::string& Errors,
                    int64_t& Count)
{
    const bool single = SameText(Name, "thumb");
    if ((!single && !SameText(Name, "thumbs")) || !ValidateThumbsTag(Name, Attributes, Line, Errors)) {
        return;
    }
    if (single) {
        ++Count;
        return;
    }
    const TVqValue* rows = Attributes.Find("rows");
    const TVqValue* cols = Attributes.Find("cols");
    const int64_t rowCount = rows != nullptr ? rows->AsInteger() : GallerySettings.TableRows;
    const int64_t colCount = cols != nullptr ? cols->AsInteger() : GallerySettings.TableCols;
    // Held below 2^31 so that no sum of tables can overflow.
    Count =
        std::min<int64_t>(Count + std::max<int64_t>(rowCount, 0) * std::max<int64_t>(colCount, 0), INT32_MAX);
}

// How long the run waits for a worker before it lets the window's messages through.
constexpr uint32_t MessagePollMs = 40;
// How often the clock of a stage turns while the workers are busy with large pictures.
constexpr auto ClockTurnInterval = std::chrono::milliseconds(250);

// Whether a picture is written as a GIF: one that keeps its size and format.
bool KeepsGif(bool KeepSize, const std::string& SourceName)
{
    return KeepSize && LowerCase(ExtractFileExt(SourceName)) == ".gif";
}

// How the pictures are stored, read from the settings on the run's thread for the workers.
struct TStoring
{
    bool Resize = GallerySettings.ImageSizeIndex != 0;
    int32_t Width = GallerySettings.ImageWidth;
    int32_t Height = GallerySettings.ImageHeight;
    int32_t Quality = GallerySettings.ImageQuality;
};

// The picture loaded into Tools as the gallery stores it: fitted into the box (or at its size)
// and upright, encoded.
std::unique_ptr<TMemoryStream> StorePicture(TPictureTools& Tools, const TStoring& Storing,
                                            const std::string& SourceName)
{
    if (Storing.Resize) {
        FitUpright(Tools, Storing.Width, Storing.Height);
    } else {
        TurnUpright(Tools);
    }
    return EncodePicture(Tools, KeepsGif(!Storing.Resize, SourceName), Storing.Quality);
}

// The picture written under its hidden name takes its own. RenameFile never replaces what holds
// the name, which is then the reason.
bool TakeName(const std::string& Staged, const std::string& Target, std::string& Reason)
{
    if (RenameFile(Staged, Target) && FileExists(Target)) {
        return true;
    }
    const int error = errno;
    Reason = SysErrorMessage(FileExists(Target) || DirectoryExists(Target) ? EEXIST : error);
    return false;
}

// A line of the errors window about the user's photo: its name, then what of it failed.
std::string PictureError(const std::string& Photo, const std::string& What)
{
    return ShownName(Photo) + ": " + What;
}

} // namespace

int32_t ListImageFiles(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List,
                       int32_t Wanted, int32_t Refused)
{
    if (!CanListFolder(Folder)) {
        return -1;
    }
    int32_t added = 0;
    const std::string folder = IncludeTrailingPathDelimiter(Folder);
    for (const TDirEntry& entry : ListDirectory(Folder)) {
        if (!MatchesMask(entry.Name, Mask) || SameText(entry.Name, "thumbs.db")) {
            continue;
        }
        int32_t attributes = entry.Attr;
        // A link that leads nowhere describes itself, as no regular file; it counts as a file
        // that cannot be read, not as a device.
        if (entry.IsSymLink() && (attributes & faSysFile) != 0 && !FileExists(folder + entry.Name)) {
            attributes = (attributes & ~faSysFile) | faArchive;
        }
        if ((attributes & Wanted) == 0 || (attributes & Refused) != 0) {
            continue;
        }
        List.push_back(entry.Name);
        ++added;
    }
    return added;
}

bool MayHoldUsablePicture(const std::string& Folder)
{
    std::vector<std::string> names;
    if (ListImageFiles(Folder, "*.*", names, faAnyFile, RefusedAttributes) <= 0) {
        return false;
    }
    TPictureTools tools;
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& Name) { return HeaderShowsPicture(tools, Folder + Name); });
}

bool HoldsUsablePicture(TPictureTools& Tools, const std::string& Folder, const TUnusablePicture& Unusable,
                        const TFoundPicture& Found)
{
    std::vector<std::string> names;
    if (ListImageFiles(Folder, "*.*", names, faAnyFile, RefusedAttributes) <= 0) {
        return false;
    }
    for (size_t i = 0; i < names.size() && !Tools.StopRequested(); ++i) {
        std::string reason;
        if (CheckPicture(Tools, Folder, names[i], reason)) {
            if (Found) {
                Found(names[i]);
            }
            return true;
        }
        if (Unusable && !reason.empty()) {
            Unusable(i, names[i], reason);
        }
    }
    return false;
}

TGalleryRun::TGalleryRun(IGalleryStatus& Status) : FStatus(Status) {}

TGalleryRun::~TGalleryRun() = default;

TGalleryResult TGalleryRun::CreateGallery()
{
    FErrors.clear();
    FPictureErrors.clear();
    FCancelled = false;
    FWorkerCount = 0;
    FPageStarted = false;
    FTemplateFiles.clear();
    const bool done = Prepare() && CheckPictures() && ProcessPictures() && WritePages();
    CleanUp(done);
    if (FCancelled) {
        return grCancelled;
    }
    return done && !HasErrors() ? grSucceeded : grFailed;
}

// ---- Preparation ----

bool TGalleryRun::Prepare()
{
    FImagesPath = IncludeTrailingPathDelimiter(TypedFolder(GallerySettings.ImagesPath));
    FGalleryPath = IncludeTrailingPathDelimiter(TypedFolder(GallerySettings.GalleryPath));

    // Nothing is deleted where the pictures, the template or the user's own folders live.
    const std::string refusal = GalleryFolderRefusal(FGalleryPath);
    if (!refusal.empty()) {
        ShowMessage(refusal);
        SetStatusIcon(gsTemplate, "failed");
        return false;
    }
    // Nor for a run that cannot start, without pictures or a page: the gallery there stays. The
    // pictures are looked for as the check of stage 2 loads them, so that a folder of files that
    // are no pictures, or of pictures that cannot be read, costs no gallery either.
    const std::string missing = ImagesFolderProblem(FImagesPath);
    if (!missing.empty()) {
        FStatus.ShowStage(gsPictures);
        FStatus.ShowErrors(missing);
        FailStage(gsPictures);
        return false;
    }
    // A template that is refused costs no gallery either: it is read and analysed as the user's
    // page before anything is deleted (an import rewrites only the references to its files).
    std::string reason;
    if (!ReadPageText(ChosenTemplateFile(), reason)) {
        ShowMessage(TemplateOpenFailure(ChosenTemplateFile(), reason));
        SetStatusIcon(gsTemplate, "failed");
        return false;
    }
    FWorkerCount = WorkerCount(GallerySettings.Threads);
    FWorkers = std::make_unique<TPictureWorkers>(FWorkerCount);
    if (!FindUsablePicture()) {
        if (FCancelled) {
            return false;
        }
        FStatus.ShowStage(gsPictures);
        ShowMessage(NoPicturesMessage);
        FailStage(gsPictures);
        return false;
    }
    if (!AnalyseTemplate()) {
        return false;
    }
    // Nor does a folder that would lose what it holds without taking a new gallery: it is checked
    // right before it is emptied, and emptied whole or not at all.
    const std::string unwritable = EmptyGalleryFolder(FGalleryPath);
    if (!unwritable.empty()) {
        ShowMessage(unwritable);
        SetStatusIcon(gsTemplate, "failed");
        return false;
    }

    FPrefix = RandomName(8) + "/";
    FTargetFolder = FGalleryPath + FPrefix;
    // The user chose the gallery folder: the message names it, not the run's folder inside.
    if (!FMadeFolders.Make(FTargetFolder)) {
        ShowMessage(WithReason("Can't create the folder: " + ShownName(FGalleryPath),
                               SysErrorMessage(FMadeFolders.Error())));
        SetStatusIcon(gsTemplate, "failed");
        return false;
    }

    std::string templatePath;
    bool reported = false;
    if (!ChooseTemplate(templatePath, reported) || !ReadPageText(templatePath, reason)) {
        // A failed import has said why already.
        if (!reported) {
            ShowMessage(TemplateOpenFailure(templatePath, reason));
        }
        SetStatusIcon(gsTemplate, "failed");
        return false;
    }

    FFileList.clear();
    FPictures.clear();
    FChecked.clear();
    FThumbnails.clear();
    FThumbnailTickets = 0;
    CreatePageVariables(FPageVars);
    return true;
}

// The template's text up to its first NUL.
bool TGalleryRun::ReadPageText(const std::string& FileName, std::string& Reason)
{
    if (!ReadTemplateText(FileName, FTemplateText, &Reason)) {
        return false;
    }
    FTemplateText.resize(std::min(FTemplateText.find('\0'), FTemplateText.size()));
    return true;
}

// Whether the images folder holds a picture the run can use, looked for by a worker while the
// window stays alive and can cancel. The pictures that cannot be used before it are left out.
bool TGalleryRun::FindUsablePicture()
{
    bool found = false;
    std::map<size_t, std::string> unusable;
    // The picture found is stored as stage 2 stores it, so that it is decoded once.
    FFirstPicture = TFirstPicture();
    const TStoring storing;
    FWorkers->Submit(0, [&, storing](TPictureTools& Tools) {
        found = HoldsUsablePicture(
            Tools, FImagesPath,
            [&](size_t ListIndex, const std::string& Name, const std::string& Reason) {
                unusable[ListIndex] = PictureError(Name, Reason);
            },
            [&](const std::string& Name) {
                FFirstPicture.Name = Name;
                FFirstPicture.Encoded = StorePicture(Tools, storing, Name);
            });
    });
    // A long search turns the first row's clock, which the template's analysis then replaces; a
    // cancel leaves it at its last frame, as it leaves the clock of any stage it stops.
    bool clockShown = false;
    while (FWorkers->InHand() > 0) {
        if (FWorkers->TakeFinished(MessagePollMs).empty()) {
            WhileWorking(gsTemplate);
            clockShown = true;
        }
    }
    if (!CancelPoint()) {
        return false;
    }
    if (clockShown) {
        SetStatusIcon(gsTemplate, "");
    }
    FPictureErrors.insert(unusable.begin(), unusable.end());
    return found;
}

// The path of the template page to read; false when there is none (Reported when the import
// has shown its own message). Each of the template's files that the gallery will lack is an error
// line, and the gallery is made from what was found.
bool TGalleryRun::ChooseTemplate(std::string& TemplatePath, bool& Reported)
{
    std::vector<TUncopiedFile> uncopied;
    const int32_t index = GallerySettings.TemplateIndex;
    if (index == 0) {
        FImportedTemplate = true;
        TemplatePath = FGalleryPath + "template.html";
        const std::string filesDir = RandomName(12);
        FTemplateFiles = FGalleryPath + filesDir + "/";
        FMadeFolders.Make(FTemplateFiles);
        Reported =
            !ImportHtmlTemplate(GallerySettings.TemplateFile, FGalleryPath, filesDir, true, "", &uncopied);
        // A refused import leaves no folder of its files behind.
        if (Reported) {
            RemoveFolder(FTemplateFiles);
            FTemplateFiles.clear();
        }
    } else if (index >= 1 && index <= static_cast<int32_t>(InstalledTemplates.size())) {
        const TemplateStr& entry = InstalledTemplates[static_cast<size_t>(index - 1)];
        TemplatePath = TemplatePageFile(entry);
        if (IsPlainFolderName(entry.ImagesDir)) {
            const std::string source = TemplateFolder(entry) + entry.ImagesDir + "/";
            const std::string destination = FGalleryPath + entry.ImagesDir + "/";
            FTemplateFiles = destination;
            FMadeFolders.Make(destination);
            uncopied = CopyTemplateImages(source, destination);
            // The page the preparation read and analysed: the one the gallery's pages are made of.
            AddMissingTemplateImages(FTemplateText, entry.ImagesDir, source, uncopied);
        }
    } else {
        return false;
    }
    for (const TUncopiedFile& file : uncopied) {
        AddError(UncopiedLine(file));
    }
    return !Reported;
}

// ---- Stage 1: the template ----

bool TGalleryRun::AnalyseTemplate()
{
    StartProgress(100);
    int64_t count = 0;
    std::string errors;
    TVqValues attributes;
    size_t position = 0;
    int32_t line = 1;
    while (position < FTemplateText.size()) {
        const TTemplateTag tag = NextTag(FTemplateText, position, line);
        if (tag.Text.empty()) {
            break;
        }
        std::string name, params;
        SplitTag(tag.Text, name, params);
        ParseTagParams(params, attributes);
        CountPlacement(name, attributes, tag.Line, errors, count);
    }
    if (count == 0) {
        errors += NoPlacementMessage;
    }
    if (!errors.empty()) {
        FStatus.ShowErrors("The errors have been found while analyzing the template\n" + errors);
        FailStage(gsTemplate);
        return false;
    }
    SetStatusIcon(gsTemplate, "check");
    FPicturesPerPage = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
    return true;
}

// ---- Stage 2: the pictures of the images folder ----

bool TGalleryRun::CheckPictures()
{
    FStatus.ShowStage(gsPictures);
    SetStatusIcon(gsPictures, "clock_" + IntToStr(ClockFrame));
    if (ListImageFiles(FImagesPath, "*.*", FFileList, faAnyFile, RefusedAttributes) < 0) {
        FStatus.ShowErrors("Can't find the directory: " + ShownName(FImagesPath));
        FailStage(gsPictures);
        return false;
    }
    // The bar counts in percent of a picture, so that it moves while large pictures decode.
    StartProgress(static_cast<int32_t>(FFileList.size()), 100);

    // Each picture is decoded here once, and what stage 3 stores of it is made at the same time.
    const TStoring storing;
    FChecked.clear();
    FChecked.resize(FFileList.size());
    for (size_t i = 0; i < FFileList.size(); ++i) {
        FChecked[i].ListIndex = i;
        FChecked[i].Staged = FTargetFolder + ".checked-" + IntToStr(static_cast<int32_t>(i)) + ".tmp";
    }
    const auto check = [&](size_t Index) -> std::function<void(TPictureTools&)> {
        // The picture the preparation found is in hand already.
        if (FFirstPicture.Encoded && FFileList[Index] == FFirstPicture.Name) {
            FChecked[Index].Readable = true;
            FChecked[Index].Encoded = std::move(FFirstPicture.Encoded);
            return [](TPictureTools&) {};
        }
        return [&, Index, storing](TPictureTools& Tools) {
            TCheckedPicture& checked = FChecked[Index];
            checked.Readable = CheckPicture(Tools, FImagesPath, FFileList[Index], checked.Reason);
            if (!checked.Readable || Tools.StopRequested()) {
                return;
            }
            checked.Encoded = StorePicture(Tools, storing, FFileList[Index]);
            if (!checked.Encoded) {
                checked.WriteReason = Tools.IO->ErrorText();
            }
        };
    };
    // Written here in list order, so that a disk that fills up keeps the pictures it keeps in a
    // run of one worker.
    const bool finished = RunJobs(FFileList.size(), check, [this](size_t Index) {
        TCheckedPicture& checked = FChecked[Index];
        checked.Written =
            checked.Encoded && WritePictureFile(checked.Staged, *checked.Encoded, checked.WriteReason);
        checked.Encoded.reset();
        StepProgress(gsPictures);
    });

    // The results in list order: what could not be read leaves the list.
    std::vector<std::string> kept;
    std::vector<TCheckedPicture> keptChecks;
    for (size_t i = 0; i < FFileList.size(); ++i) {
        TCheckedPicture& checked = FChecked[i];
        if (checked.Readable) {
            kept.push_back(FFileList[i]);
            keptChecks.push_back(std::move(checked));
        } else if (!checked.Reason.empty()) {
            AddPictureError(checked.ListIndex, FFileList[i], checked.Reason);
        }
    }
    FFileList.swap(kept);
    FChecked.swap(keptChecks);
    if (!finished) {
        return false;
    }
    if (FFileList.empty()) {
        ShowMessage(NoPicturesMessage);
        FailStage(gsPictures);
        return false;
    }
    UpdatePageCount();
    SetStatusIcon(gsPictures, "check");
    FStatus.ShowFilesFound(static_cast<int32_t>(FFileList.size()));
    FStatus.ProcessMessages();
    return true;
}

bool TGalleryRun::RunJobs(size_t Count,
                          const std::function<std::function<void(TPictureTools&)>(size_t)>& MakeJob,
                          const std::function<void(size_t)>& Finished)
{
    size_t next = 0;
    for (;;) {
        while (!FCancelled && next < Count && FWorkers->HasRoom()) {
            FWorkers->Submit(static_cast<int64_t>(next), MakeJob(next));
            ++next;
        }
        if (FWorkers->InHand() == 0) {
            break;
        }
        const std::vector<int64_t> done = FWorkers->TakeFinished(MessagePollMs);
        if (done.empty()) {
            WhileWorking(gsPictures);
        }
        // What the jobs in hand made after a cancel would only be deleted again.
        for (size_t k = 0; k < done.size() && !FCancelled; ++k) {
            Finished(static_cast<size_t>(done[k]));
            CancelPoint();
        }
    }
    return !FCancelled;
}

void TGalleryRun::UpdatePageCount()
{
    const int64_t count = static_cast<int64_t>(FFileList.size());
    const int64_t perPage = std::max(FPicturesPerPage, 1);
    FTotalPages = static_cast<int32_t>((count + perPage - 1) / perPage);
    SetVariable(FPageVars, "total_pages", FTotalPages);
    SetVariable(FPageVars, "first_page_url", "index.html");
    SetVariable(FPageVars, "last_page_url", PageUrl(FTotalPages));
}

// ---- Stage 3: the pictures re-encoded into the picture folder ----

bool TGalleryRun::ProcessPictures()
{
    const std::string spacer = FTargetFolder + "spacer.gif";
    std::string failedFile, reason;
    if (!CopyPictureFile(GallerySettings.ProgramFolder + "data/spacer.gif", spacer, failedFile, reason)) {
        const char* what = failedFile == spacer ? "Can't create the file: " : "Can't read the file: ";
        AddError(WithReasonInLine(what + ShownName(failedFile), reason));
    }
    FStatus.ShowStage(gsProcessing);
    SetStatusIcon(gsProcessing, "clock_" + IntToStr(ClockFrame));
    StartProgress(static_cast<int32_t>(FFileList.size()));
    FStatus.ProcessMessages();

    AssignOutputNames();
    bool failed = false;
    for (size_t i = 0; i < FFileList.size();) {
        const std::string target = FTargetFolder + FPictures[i];
        TCheckedPicture& checked = FChecked[i];
        const bool kept = checked.Written && TakeName(checked.Staged, target, checked.WriteReason);
        if (kept) {
            checked.Staged.clear();
        } else {
            AddPictureError(checked.ListIndex, FFileList[i],
                            WithReasonInLine("cannot be written", checked.WriteReason));
        }
        // A picture that is not in the picture folder gets no thumbnail and no place on a page.
        if (kept) {
            ++i;
        } else {
            failed = true;
            DeleteFile(checked.Staged);
            FFileList.erase(FFileList.begin() + static_cast<std::ptrdiff_t>(i));
            FPictures.erase(FPictures.begin() + static_cast<std::ptrdiff_t>(i));
            FChecked.erase(FChecked.begin() + static_cast<std::ptrdiff_t>(i));
        }
        StepProgress(gsProcessing);
        if (!CancelPoint()) {
            return false;
        }
    }
    if (FPictures.empty()) {
        FailStage(gsProcessing);
        return false;
    }
    UpdatePageCount();
    SetStatusIcon(gsProcessing, failed ? "failed" : "check");
    return true;
}

// The names the pictures are written under: lower case, ".jpg" unless a JPEG or GIF keeps its
// size. Two pictures that would share a picture or a thumbnail name, or take the filler's name,
// get distinct names: the later one "name_2", "name_3" and so on.
void TGalleryRun::AssignOutputNames()
{
    const bool keepSize = GallerySettings.ImageSizeIndex == 0;
    std::set<std::string> pictures{"spacer.gif"};
    std::set<std::string> thumbnails;
    FPictures.clear();
    for (const std::string& source : FFileList) {
        const std::string lower = LowerCase(source);
        const std::string ext = ExtractFileExt(lower);
        const bool keepFormat = keepSize && (ext == ".jpg" || ext == ".jpeg" || ext == ".gif");
        const std::string stem = lower.substr(0, lower.size() - ext.size());
        const std::string outExt = keepFormat ? ext : std::string(".jpg");
        const auto taken = [&](const std::string& name) {
            return pictures.count(name) != 0 || thumbnails.count(ChangeFileExt(name, ".jpg")) != 0;
        };
        std::string name = stem + outExt;
        for (int32_t n = 2; taken(name); ++n) {
            name = stem + "_" + IntToStr(n) + outExt;
        }
        pictures.insert(name);
        thumbnails.insert(ChangeFileExt(name, ".jpg"));
        FPictures.push_back(name);
    }
}

// ---- Stage 4: thumbnails and pages ----

bool TGalleryRun::WritePages()
{
    SetVariable(FPageVars, "current_page", 1);
    SetVariable(FPageVars, "next_page_number", 2);
    SetVariable(FPageVars, "next_page_url", "index2.html");
    SetVariable(FPageVars, "prev_page_number", 0);
    SetVariable(FPageVars, "prev_page_url", "");

    const size_t earlierErrors = ErrorCount();
    FTargetFolder = FGalleryPath + FPrefix + "thumbs/";
    FPicturesFolder = FGalleryPath + FPrefix;
    FMadeFolders.Make(FTargetFolder);
    FStatus.ShowStage(gsPages);
    SetStatusIcon(gsPages, "clock_" + IntToStr(ClockFrame));
    StartProgress(static_cast<int32_t>(FPictures.size()));
    FStatus.ProcessMessages();

    TPageWriterSettings settings;
    settings.GalleryPath = FGalleryPath;
    settings.Prefix = FPrefix;
    settings.Defaults = static_cast<const ThumbStr&>(GallerySettings);
    settings.Defaults.BoxWidth = GallerySettings.IconWidth;
    settings.Defaults.BoxHeight = GallerySettings.IconHeight;
    IPageWriterHost& host = *this;
    FWriter =
        std::make_unique<TPageWriter>(FTemplateText, settings, FPictures, FPageVars, &TemplateParams, host);
    FWriter->TotalPages = FTotalPages;

    const TPagesResult result = FWriter->WritePages([this](bool Placing) {
        if (!Placing) {
            StepProgress(gsPages);
        }
        return CancelPoint();
    });
    FinishThumbnails();
    if (result == prCancelled) {
        return false;
    }
    if (result == prNoPlacement) {
        FStatus.ShowErrors(NoPlacementMessage);
    }
    if (result != prDone) {
        FailStage(gsPages);
        return false;
    }
    if (!FWriter->Finish()) {
        FailStage(gsPages);
        return false;
    }
    // Pictures lost in stage 3 have failed that stage already; this one fails for its own only.
    SetStatusIcon(gsPages, ErrorCount() == earlierErrors ? "check" : "failed");
    if (!HasErrors()) {
        FStatus.ShowSuccess();
        FStatus.ProcessMessages();
    }
    return true;
}

void TGalleryRun::MakeThumbnail(int32_t Index, int32_t BoxWidth, int32_t BoxHeight)
{
    // The writer goes on with the page while a worker makes the thumbnail; the thumbnails are
    // written here in page order, before the next page write.
    while (!FWorkers->HasRoom()) {
        CollectThumbnails(MessagePollMs);
    }
    const size_t index = static_cast<size_t>(Index);
    const std::string picture = FPicturesFolder + FPictures[index];
    TThumbnailJob& job = FThumbnails.emplace_back();
    job.ListIndex = FChecked[index].ListIndex;
    job.Photo = FFileList[index];
    job.FileName = FTargetFolder + ChangeFileExt(FPictures[index], ".jpg");
    const int32_t quality = GallerySettings.IconQuality;
    FWorkers->Submit(FThumbnailTickets++, [=, &job](TPictureTools& Tools) {
        if (!LoadPicture(Tools, picture)) {
            job.Reason = ReasonIn(Tools.IO->ErrorText(), picture);
            return;
        }
        try {
            FitUpright(Tools, BoxWidth, BoxHeight);
        } catch (const std::exception& error) {
            // A box that asks for more memory than any bitmap may take.
            job.Reason = error.what();
            return;
        }
        job.Encoded = EncodePicture(Tools, false, quality);
        if (!job.Encoded) {
            job.Reason = Tools.IO->ErrorText();
        }
    });
    CollectThumbnails(0);
}

void TGalleryRun::CollectThumbnails(uint32_t TimeoutMs)
{
    const std::vector<int64_t> done = FWorkers->TakeFinished(TimeoutMs);
    if (done.empty() && TimeoutMs > 0) {
        WhileWorking(gsPages);
    }
    // The workers hand the thumbnails back in the order they were asked for; those a cancel
    // stopped are no fault.
    for (size_t k = 0; k < done.size() && !FThumbnails.empty(); ++k) {
        TThumbnailJob& job = FThumbnails.front();
        const bool made = job.Encoded != nullptr;
        if (!(made && WritePictureFile(job.FileName, *job.Encoded, job.Reason)) && !FWorkers->Stopped()) {
            const char* what = made ? "thumbnail cannot be written" : "thumbnail cannot be made";
            AddPictureError(job.ListIndex, job.Photo, WithReasonInLine(what, job.Reason));
        }
        FThumbnails.pop_front();
        StepProgress(gsPages);
    }
}

void TGalleryRun::FinishThumbnails()
{
    while (FWorkers && FWorkers->InHand() > 0) {
        CollectThumbnails(MessagePollMs);
    }
}

// ---- Clean-up ----

void TGalleryRun::CleanUp(bool Done)
{
    FinishThumbnails();
    if (FWorkers) {
        // Nothing is handed out any more; what is in hand ends before its files are removed.
        while (FWorkers->InHand() > 0) {
            FWorkers->TakeFinished(MessagePollMs);
        }
    }
    DeleteStagedPictures();
    FFirstPicture = TFirstPicture();
    if (FWriter && FWriter->PageOpen()) {
        FWriter->Finish();
    }
    if (FImportedTemplate) {
        DeleteFile(FGalleryPath + "template.html");
        FImportedTemplate = false;
    }
    // Cancelled before a page refers to them, the template's files are of no use.
    if (FCancelled && !FPageStarted && !FTemplateFiles.empty()) {
        RemoveFolder(FTemplateFiles);
    }
    if (HasErrors()) {
        std::string text = "The errors have been found while creating the gallery\n";
        for (const auto& [listIndex, line] : FPictureErrors) {
            text += line + "\n";
        }
        for (const std::string& line : FErrors) {
            text += line + "\n";
        }
        FStatus.ShowErrors(text);
    }
    // A run that failed before it wrote a page leaves none of its folders; one that wrote pages, or
    // was cancelled, leaves what it wrote.
    if (!Done && !FCancelled && !(FWriter && FWriter->PagesWritten > 0)) {
        FMadeFolders.RemoveAll();
    }
    FMadeFolders.Keep();
    RemoveUnusedPictureFolder();
    FWriter.reset();
    FWorkers.reset();
    FTemplateText.clear();
    FTemplateText.shrink_to_fit();
}

// Checked pictures that never reached their own names.
void TGalleryRun::DeleteStagedPictures()
{
    for (TCheckedPicture& checked : FChecked) {
        if (!checked.Staged.empty()) {
            DeleteFile(checked.Staged);
            checked.Staged.clear();
        }
    }
    FChecked.clear();
}

// A run that ended before any picture was written leaves no picture folder behind: nothing but
// the filler and an empty thumbnail folder would be in it.
void TGalleryRun::RemoveUnusedPictureFolder()
{
    if (FPrefix.empty()) {
        return;
    }
    const std::string folder = FGalleryPath + FPrefix;
    for (const TDirEntry& entry : ListDirectory(folder)) {
        const bool filler = !entry.IsDirectory() && entry.Name == "spacer.gif";
        const bool noThumbnails = entry.IsDirectory() && entry.Name == "thumbs" && !entry.IsSymLink() &&
                                  ListDirectory(folder + "thumbs/").empty();
        if (!filler && !noThumbnails) {
            return;
        }
    }
    DeleteFile(folder + "spacer.gif");
    RemoveDir(folder + "thumbs");
    RemoveDir(ExcludeTrailingPathDelimiter(folder));
}

// ---- Status and helpers ----

void TGalleryRun::SetStatusIcon(int32_t Stage, const std::string& ResourceName)
{
    FStatus.SetStageIcon(Stage, ResourceName);
    FStatus.ProcessMessages();
}

void TGalleryRun::FailStage(int32_t Stage)
{
    SetStatusIcon(Stage, "failed");
}

void TGalleryRun::StartProgress(int32_t Steps, int32_t StepSize)
{
    FProgressStep = StepSize;
    FProgressMaximum = static_cast<int32_t>(std::min<int64_t>(int64_t(Steps) * StepSize, INT32_MAX));
    FProgressPosition = 0;
    FStatus.SetProgress(FProgressMaximum, 0);
}

void TGalleryRun::StepProgress(int32_t Stage)
{
    FProgressPosition = std::min(FProgressPosition + FProgressStep, FProgressMaximum);
    FStatus.SetProgress(FProgressMaximum, FProgressPosition);
    TurnClock(Stage);
}

void TGalleryRun::TurnClock(int32_t Stage)
{
    ClockFrame = ClockFrame >= 7 ? 0 : ClockFrame + 1;
    FClockTurned = std::chrono::steady_clock::now();
    SetStatusIcon(Stage, "clock_" + IntToStr(ClockFrame));
}

bool TGalleryRun::CancelPoint()
{
    if (!FCancelled && FStatus.CancelRequested()) {
        FCancelled = true;
        if (FWorkers) {
            FWorkers->Stop();
        }
    }
    return !FCancelled;
}

void TGalleryRun::WhileWorking(int32_t Stage)
{
    FStatus.ProcessMessages();
    if (!CancelPoint()) {
        return;
    }
    if (Stage == gsPictures) {
        const int64_t inHand = FProgressPosition + FWorkers->PercentInHand();
        FStatus.SetProgress(FProgressMaximum,
                            static_cast<int32_t>(std::min<int64_t>(inHand, FProgressMaximum)));
    }
    if (std::chrono::steady_clock::now() - FClockTurned >= ClockTurnInterval) {
        TurnClock(Stage);
        CancelPoint();
    }
}

void TGalleryRun::AddError(const std::string& Line)
{
    FErrors.push_back(Line);
}

void TGalleryRun::AddPictureError(size_t ListIndex, const std::string& Photo, const std::string& What)
{
    FPictureErrors[ListIndex] = PictureError(Photo, What);
}

void TGalleryRun::ShowMessage(const std::string& Text)
{
    FStatus.ShowMessage(Text);
}

void TGalleryRun::WriteFailed(const std::string& FileName, const std::string& Reason)
{
    AddError(WithReasonInLine("Can't write the file: " + ShownName(FileName), Reason));
}
