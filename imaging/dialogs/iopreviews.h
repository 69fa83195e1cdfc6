// TfIOPreviews: the save-parameters dialog. One page per image format edits that format's
// saving parameters of a TIOParamsVals record; a live preview encodes the source picture with
// them, shows the encoded size and the picture as the file would hold it. OK (and Apply) write
// the active page's values into the record; Cancel leaves it as it was.
#pragma once

#include "imaging/dialogs/fitted_form.h"
#include "imaging/dialogs/iopreviews_values.h"
#include "imaging/io/korvaneio.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TButton;
class TCheckBox;
class TColorDialog;
class TComboBox;
class TEdit;
class TGroupBox;
class TKorvaneProc;
class TKorvaneView;
class TLabel;
class TPageControl;
class TPanel;
class TProgressBar;
class TSpeedButton;
class TTabSheet;
class TTrackBar;
class TUpDown;

class TfIOPreviews : public TKVFittedForm
{
public:
    explicit TfIOPreviews(TComponent* AOwner);
    ~TfIOPreviews() override;

    // ---- Prepared by the caller before SetPreviewParams and ShowModal ----
    // Everything an I/O component hands over: the record, its dialog options (lock preview,
    // Apply button), the simplified variant (which also shortens the form to fit the screen's
    // resolution), the dither method, the language and the font.
    void PrepareFor(TIOParamsVals* Params, TIOPreviewsParams Options, bool Simplified, TKVDitherMethod Dither,
                    TMsgLanguage Language, TFont* AFont);
    // The record edited in place; it must outlive the dialog.
    TIOParamsVals* IOParams = nullptr;
    bool SimplifiedParamsDialogs = false;
    // Whether the lock-preview button starts down: the preview then follows every change;
    // otherwise it runs on the Preview button.
    bool DefaultLockPreview = false;
    TKVDitherMethod DitherMethod = kvThreshold;
    // The picture previewed: copied into the source view, as kv24RGB unless it is kv1g.
    void SetSourceImage(TKVBitmap* Source);
    // All texts in the language.
    void SetLanguage(TMsgLanguage Language);
    // Stores the pages to show, with ppAUTO the page of the record's file type; false when that
    // leaves nothing to show (the dialog is then not to be shown).
    bool SetPreviewParams(TPreviewParams Pages);

    // ---- The TIFF compression list ----
    bool HasTIFFLZW() const;
    int32_t CompToCombo(TIOTIFFCompression Compression) const;
    TIOTIFFCompression ComboToComp(int32_t Index) const;

    // ---- Behaviour ----
    // The working copy from the record, the controls from the working copy.
    void ResetParameters();
    void ApplyParameters();
    // The live preview into the target view.
    void applyAct(TKorvaneView* Target);
    // Writes the active page's values into the record (OK and Apply).
    void Button1Click(TObject* Sender);
    void Progress(TObject* Sender, int32_t Per);
    // Whether OK or Apply wrote into the record.
    bool Written() const { return FWritten; }
    // The page shown, and the working copy.
    TIOPreviewPage ActivePreviewPage() const;
    const Iopreviews::TIOPreviewsValues& Values() const { return FValues; }
    // The encoder, whose parameters hold the colour map of the last palette preview.
    TKorvaneIO* Encoder() const { return FEncoder; }
    // The "Original size" and "Compressed size" values shown on a page.
    std::string OriginalSizeText(TIOPreviewPage Page) const;
    std::string CompressedSizeText(TIOPreviewPage Page) const;

    // ---- Controls, by the form's names ----
    TPanel* Panel2 = nullptr;
    TKorvaneView* Korvane1 = nullptr;
    TKorvaneView* Korvane2 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TProgressBar* ProgressBar1 = nullptr;
    TPageControl* PageControl1 = nullptr;
    TButton* Button1 = nullptr;           // OK
    TButton* Button2 = nullptr;           // Cancel
    TButton* Button3 = nullptr;           // Preview
    TButton* Button4 = nullptr;           // Apply
    TSpeedButton* SpeedButton1 = nullptr; // lock preview
    TColorDialog* ColorDialog1 = nullptr;

    TTabSheet* TabSheetJPEG1 = nullptr;
    TTabSheet* TabSheetJPEG2 = nullptr;
    TTabSheet* TabSheetTIFF1 = nullptr;
    TTabSheet* TabSheetTIFF2 = nullptr;
    TTabSheet* TabSheetGIF1 = nullptr;
    TTabSheet* TabSheetGIF2 = nullptr;
    TTabSheet* TabSheetBMP1 = nullptr;
    TTabSheet* TabSheetPCX1 = nullptr;
    TTabSheet* TabSheetPNG1 = nullptr;
    TTabSheet* TabSheetTGA1 = nullptr;
    TTabSheet* TabSheetJ20001 = nullptr;

    // JPEG
    TEdit* Edit22 = nullptr; // quality
    TTrackBar* TrackBar13 = nullptr;
    TGroupBox* GroupBoxJPEGAdvanced = nullptr;
    TComboBox* ComboBox1 = nullptr; // DCT method
    TEdit* Edit23 = nullptr;        // smoothing
    TUpDown* UpDown11 = nullptr;
    TCheckBox* CheckBox2 = nullptr;  // optimal Huffman
    TCheckBox* CheckBox3 = nullptr;  // progressive
    TComboBox* ComboBox13 = nullptr; // photometric
    TEdit* Edit16 = nullptr;         // simplified: quality
    TTrackBar* TrackBar2 = nullptr;
    // TIFF
    TComboBox* ComboBox2 = nullptr; // compression
    TEdit* Edit1 = nullptr;         // image index
    TUpDown* UpDown1 = nullptr;
    TComboBox* ComboBox3 = nullptr; // photometric
    TComboBox* ComboBox4 = nullptr; // colours
    TGroupBox* GroupBoxTIFFDocument = nullptr;
    TEdit* Edit2 = nullptr;          // horizontal position
    TEdit* Edit3 = nullptr;          // vertical position
    TEdit* Edit4 = nullptr;          // document name
    TEdit* Edit5 = nullptr;          // description
    TEdit* Edit6 = nullptr;          // page name
    TEdit* Edit7 = nullptr;          // page number
    TEdit* Edit8 = nullptr;          // page count
    TComboBox* ComboBox16 = nullptr; // simplified: compression
    TComboBox* ComboBox17 = nullptr; // simplified: colours
    // GIF
    TEdit* Edit9 = nullptr; // image index
    TUpDown* UpDown2 = nullptr;
    TComboBox* ComboBox5 = nullptr; // colours
    TCheckBox* CheckBox4 = nullptr; // transparent
    TLabel* LabelTransparentColor = nullptr;
    TPanel* Panel3 = nullptr;       // transparent colour
    TCheckBox* CheckBox5 = nullptr; // interlaced
    TLabel* LabelGIFBackground = nullptr;
    TPanel* Panel4 = nullptr; // background
    TGroupBox* GroupBoxGIFAdvanced = nullptr;
    TEdit* Edit12 = nullptr;         // delay
    TEdit* Edit10 = nullptr;         // left
    TEdit* Edit11 = nullptr;         // top
    TComboBox* ComboBox18 = nullptr; // simplified: colours
    // BMP and PCX
    TComboBox* ComboBox6 = nullptr; // BMP compression
    TComboBox* ComboBox7 = nullptr; // BMP colours
    TComboBox* ComboBox8 = nullptr; // PCX compression
    TComboBox* ComboBox9 = nullptr; // PCX colours
    // PNG
    TComboBox* ComboBox10 = nullptr; // colours
    TLabel* LabelPNGBackground = nullptr;
    TPanel* Panel1 = nullptr; // background
    TGroupBox* GroupBoxPNGAdvanced = nullptr;
    TComboBox* ComboBox11 = nullptr; // filter
    TCheckBox* CheckBox6 = nullptr;  // interlaced
    TComboBox* ComboBox12 = nullptr; // compression
    // TGA
    TComboBox* ComboBox14 = nullptr; // colours
    TLabel* LabelTGABackground = nullptr;
    TPanel* Panel5 = nullptr;       // background
    TCheckBox* CheckBox1 = nullptr; // compression
    TLabel* LabelTGAName = nullptr;
    TEdit* Edit13 = nullptr; // name
    TLabel* LabelTGADescription = nullptr;
    TEdit* Edit14 = nullptr; // description
    // JPEG 2000
    TEdit* Edit15 = nullptr; // rate
    TTrackBar* TrackBar1 = nullptr;
    TLabel* LabelJ2000Photometric = nullptr;
    TComboBox* ComboBox15 = nullptr; // photometric

protected:
    void DoShow() override;

private:
    // One page's "Original size" and "Compressed size" rows.
    struct TSizeLabels
    {
        TLabel* OriginalCaption = nullptr;
        TLabel* Original = nullptr;
        TLabel* CompressedCaption = nullptr;
        TLabel* Compressed = nullptr;
    };
    // A caption whose language text is looked up by SetLanguage.
    struct TWordCaption
    {
        TControl* Control;
        TMsgLanguageWords Word;
        bool Colon;
    };

    // Layout (iopreviews_form.cpp).
    void CreateControls();
    void CreateJPEGPages();
    void CreateTIFFPages();
    void CreateGIFPages();
    void CreateOtherPages();
    TTabSheet* NewPage(const std::string& Caption);
    TLabel* NewLabel(TWinControl* Parent, int32_t Left, int32_t Top, TMsgLanguageWords Word,
                     bool Colon = true);
    TLabel* NewLabel(TWinControl* Parent, int32_t Left, int32_t Top, const std::string& Text);
    // Widest: the widest value the edit may hold, which it is made wide enough to show at the
    // dialog's font; empty for free text.
    TEdit* NewEdit(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width, const std::string& Widest);
    TComboBox* NewCombo(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                        std::initializer_list<const char*> Items);
    TCheckBox* NewCheck(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                        TMsgLanguageWords Word);
    TTrackBar* NewTrackBar(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width, int32_t Max,
                           int32_t Frequency);
    TUpDown* NewUpDown(TEdit* Associate, int32_t Max);
    TPanel* NewColourPanel(TWinControl* Parent, int32_t Left, int32_t Top);
    TGroupBox* NewGroupBox(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                           TMsgLanguageWords Word);
    void AddSizeLabels(TTabSheet* Page, TIOPreviewPage Kind, int32_t Left, int32_t Top);
    void MoveSizeLabels(TTabSheet* Page, int32_t OriginalTop, int32_t CompressedTop);
    TSizeLabels* SizesOf(TTabSheet* Page);
    const TSizeLabels* SizesOf(TTabSheet* Page) const;
    void ArrangeSimplified();
    void ConnectHandlers();

    // Behaviour (iopreviews.cpp).
    using TIOValues = Iopreviews::TIOPreviewsValues;
    void FormActivate();
    void ShowPages();
    TIOPreviewPage PageOf(TTabSheet* Sheet) const;
    // The sheet that shows a page in this variant.
    TTabSheet* SheetOf(TIOPreviewPage Page) const;
    void ApplyTIFF();
    void ApplyGIF();
    void ShowGIFTransparency();
    void PageChanging();
    void PageChanged();
    // A change handler's end: nothing when the values are those stored; otherwise they are
    // stored, previewed when the preview follows changes, and Apply is enabled.
    bool Store(const TIOValues& Values);
    void JPEGChanged(bool FromEdit);
    void SimplifiedJPEGChanged(bool FromEdit);
    void J2000Changed(bool FromEdit);
    void TIFFChanged(TObject* Sender);
    void SimplifiedTIFFChanged(TObject* Sender);
    void GIFChanged();
    void SimplifiedGIFChanged();
    void BMPChanged();
    void PCXChanged();
    void PNGChanged();
    void TGAChanged();
    // A colour from the encoder's colour map (at most Entries of it), or from the colour dialog
    // when there is no map; false when the user cancelled.
    bool PickFromPalette(int64_t Entries, TRGB& Colour);
    void PickGIFColour(TPanel* Panel, TRGB& Colour);
    void PickBackground(TPanel* Panel, TRGB& Colour, int32_t ColorsIndex);
    void LockPreviewClicked();
    void FollowSourceView(TKorvaneView* Target);
    void ShowSizes(int64_t Size);
    // Shows a value (a size) in the labels and fits the dialog to it.
    void ShowValues(const std::vector<TLabel*>& Labels, const std::string& Text);

    TPreviewParams FPages = 0;
    std::string FCancelText = "&Cancel";
    bool FControlsLive = false;
    bool FActivated = false;
    bool FWritten = false;
    TKorvaneIO* FEncoder = nullptr;
    TKorvaneProc* FProc = nullptr;
    Iopreviews::TIOPreviewsValues FValues;
    Iopreviews::TPreviewProgress FProgress;
    std::vector<std::pair<TTabSheet*, TSizeLabels>> FSizes;
    std::vector<TWordCaption> FWordCaptions;
};
